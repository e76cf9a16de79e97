// veltrane-lut's ramp commands over ramps held in memory: which holders a
// name chooses, and what the user is told when the system refuses a ramp or
// the ramps cannot be reached. Built for every platform: the words come
// from the platform's own lut_platform, so the same cases hold for each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/calibration_table.h"
#include "tests/support/fake_ramp_device.h"
#include "tools/lut_commands.h"
#include "tools/lut_platform.h"

namespace veltrane {
namespace {

struct CommandOutput {
    int status = 0;
    std::string out;
    std::string err;
};

template <typename Command>
CommandOutput capture(Command command) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    CommandOutput output;
    output.status = command();
    output.out = ::testing::internal::GetCapturedStdout();
    output.err = ::testing::internal::GetCapturedStderr();
    return output;
}

CalibrationTable tunedTable() {
    ColorCalibration calibration;
    calibration.red.gamma = 2.2;
    calibration.blue.contrast = 0.9;
    return calibrationTable(calibration);
}

// Three displays; the second drives no output (an unused CRTC on X11).
FakeRampDevice threeHolders() {
    FakeRampDevice device;
    device.ramps[10] = identityRamp(256);
    device.ramps[20] = identityRamp(1024);
    device.ramps[30] = identityRamp(256);
    return device;
}

class NoOutputDevice final : public GammaRampDevice {
public:
    explicit NoOutputDevice(FakeRampDevice& inner) : inner_(inner) {}
    std::vector<RampHolder> rampHolders() override {
        std::vector<RampHolder> holders = inner_.rampHolders();
        holders[1].outputs.clear();
        return holders;
    }
    std::optional<GammaRamp> readRamp(RampId id) override { return inner_.readRamp(id); }
    bool writeRamp(RampId id, const GammaRamp& ramp) override { return inner_.writeRamp(id, ramp); }

private:
    FakeRampDevice& inner_;
};

TEST(LutRampCommands, ANameChoosesTheHoldersItNames) {
    struct Case {
        const char* name;
        std::vector<RampId> written;  // nothing: refused with the list of names
    };
    const Case cases[] = {
        {"", {10, 20, 30}},
        {"output-30", {30}},
        {"1", {10}},
        {"2", {30}},  // counted among the holders that drive an output
        {"3", {}},
        {"0", {}},
        {"output-20", {}},
        {"output-3", {}},
        {"01", {10}},
    };
    const CalibrationTable table = tunedTable();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("name '") + c.name + "'");
        FakeRampDevice ramps = threeHolders();
        NoOutputDevice device(ramps);
        const CommandOutput output = capture([&] { return loadRamps(device, &table, c.name); });
        EXPECT_EQ(ramps.written, c.written);
        for (const RampId id : c.written) EXPECT_EQ(ramps.ramps[id], rampFromTable(table, ramps.ramps[id].size()));
        if (c.written.empty()) {
            EXPECT_EQ(output.status, LUT_EXIT_FAILED);
            EXPECT_NE(output.err.find(lutPlatformText().noSuchHolder), std::string::npos) << output.err;
            EXPECT_NE(output.err.find("output-10, output-30"), std::string::npos) << output.err;
        } else {
            EXPECT_EQ(output.status, 0) << output.err;
            EXPECT_EQ(output.err, "");
        }
    }
}

TEST(LutRampCommands, ARefusedRampIsNamedWithTheReasonAndTheOthersAreStillSet) {
    const CalibrationTable table = tunedTable();
    for (const bool applying : {true, false}) {
        SCOPED_TRACE(applying ? "apply" : "reset");
        FakeRampDevice device = threeHolders();
        device.ramps[30] = rampFromTable(table, 256);
        device.refusing = {20};
        const GammaRamp refusedBefore = device.ramps[20];
        const CommandOutput output = capture([&] { return loadRamps(device, applying ? &table : nullptr, ""); });

        EXPECT_EQ(output.status, LUT_EXIT_FAILED);
        EXPECT_EQ(device.written, (std::vector<RampId>{10, 30}));
        EXPECT_EQ(device.ramps[20], refusedBefore);
        EXPECT_EQ(device.ramps[10], applying ? rampFromTable(table, 256) : identityRamp(256));
        EXPECT_NE(output.err.find("holder 20 (output-20): the ramp of 1024 entries could not be set"),
                  std::string::npos)
            << output.err;
        EXPECT_EQ(output.err.find("holder 10"), std::string::npos) << output.err;
        // Said once, after every holder was tried, where the platform has something to say.
        const std::string advice = lutPlatformText().refusedAdvice;
        if (!advice.empty()) {
            const std::size_t at = output.err.find(advice);
            ASSERT_NE(at, std::string::npos) << output.err;
            EXPECT_EQ(output.err.find(advice, at + 1), std::string::npos) << output.err;
        }
        EXPECT_NE(output.out.find("holder 30 (output-30): "), std::string::npos) << output.out;
    }
}

TEST(LutRampCommands, UnreachableRampsSayWhyAndWhereToGoInstead) {
    const CommandOutput output = capture([] { return rampsUnreachable("no display here"); });
    EXPECT_EQ(output.status, LUT_EXIT_FAILED);
    EXPECT_EQ(output.err, std::string("veltrane-lut: the display's gamma ramps cannot be reached here: no display "
                                      "here.\n") +
                              lutPlatformText().unreachableAdvice + "\n");
}

TEST(LutRampCommands, ShowTellsWhatEachRampHolds) {
    const CalibrationTable table = tunedTable();
    FakeRampDevice device = threeHolders();
    device.ramps[20] = rampFromTable(table, 1024);
    device.ramps[30] = rampFromTable(calibrationTable(ColorCalibration{{1.0, 1.0, 1.8}, {}, {}}), 256);
    const CommandOutput output = capture([&] { return showRamps(device, table); });
    EXPECT_EQ(output.status, 0);
    EXPECT_EQ(output.out,
              "Gamma ramps:\n"
              "  holder 10 (output-10), 256 entries: identity\n"
              "  holder 20 (output-20), 1024 entries: this calibration\n"
              "  holder 30 (output-30), 256 entries: something else\n");
}

}  // namespace
}  // namespace veltrane
