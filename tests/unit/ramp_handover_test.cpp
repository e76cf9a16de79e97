#include <gtest/gtest.h>

#include <map>

#include "calibration/ramp_handover.h"
#include "calibration/settings_codec.h"
#include "tests/support/fake_ramp_device.h"
#include "tests/support/memory_settings_store.h"

namespace veltrane {
namespace {

ColorCalibration storedValues() {
    ColorCalibration calibration;
    calibration.red = {1.0, 1.0, 2.2};
    calibration.green = {1.01, 0.98, 1.9};
    calibration.blue = {1.0, 0.95, 2.0};
    return calibration;
}

ColorCalibration tunedValues() {
    ColorCalibration calibration = storedValues();
    calibration.red.gamma = 2.3;
    return calibration;
}

GammaRamp otherToolsRamp(std::size_t size) {
    GammaRamp ramp = identityRamp(size);
    for (auto& entry : ramp.red) entry = static_cast<std::uint16_t>(entry / 2);
    return ramp;
}

constexpr RampId OURS = 1;
constexpr RampId OURS_WIDE = 2;  // a 1024-entry ramp keeping 10 bits per entry
constexpr RampId OTHER = 3;
constexpr RampId STRAIGHT = 4;

FakeRampDevice desktopWithOurTable(const CalibrationTable& stored) {
    FakeRampDevice device;
    device.ramps[OURS] = rampFromTable(stored, 256);
    GammaRamp wide = rampFromTable(stored, 1024);
    for (auto* channel : {&wide.red, &wide.green, &wide.blue}) {
        for (auto& entry : *channel) entry = static_cast<std::uint16_t>(entry & 0xFFC0);
    }
    device.ramps[OURS_WIDE] = wide;
    device.ramps[OTHER] = otherToolsRamp(256);
    device.ramps[STRAIGHT] = identityRamp(4096);
    return device;
}

TEST(RampHandover, OurRampsShowIdentityWhileRunningAndTheNewTableAfter) {
    const CalibrationTable stored = calibrationTable(storedValues());
    FakeRampDevice device = desktopWithOurTable(stored);
    const FakeRampDevice before = device;
    {
        RampHandover handover(device, stored);
        EXPECT_EQ(handover.takenOver(), (std::vector<RampId>{OURS, OURS_WIDE}));
        EXPECT_EQ(device.ramps[OURS], identityRamp(256));
        EXPECT_EQ(device.ramps[OURS_WIDE], identityRamp(1024));
        EXPECT_EQ(device.ramps[OTHER], before.ramps.at(OTHER));
        EXPECT_EQ(device.ramps[STRAIGHT], before.ramps.at(STRAIGHT));

        const CalibrationTable tuned = calibrationTable(tunedValues());
        handover.finish(tuned);
        EXPECT_EQ(device.ramps[OURS], rampFromTable(tuned, 256));
        EXPECT_EQ(device.ramps[OURS_WIDE], rampFromTable(tuned, 1024));
    }
    EXPECT_EQ(device.ramps[OTHER], before.ramps.at(OTHER));
    EXPECT_EQ(device.ramps[STRAIGHT], before.ramps.at(STRAIGHT));
    // Two writes at the start and two at the end; the destructor adds none.
    EXPECT_EQ(device.written, (std::vector<RampId>{OURS, OURS_WIDE, OURS, OURS_WIDE}));
}

TEST(RampHandover, AnEndWithoutFinishPutsTheStoredTableBack) {
    const CalibrationTable stored = calibrationTable(storedValues());
    FakeRampDevice device = desktopWithOurTable(stored);
    { RampHandover handover(device, stored); }
    EXPECT_EQ(device.ramps[OURS], rampFromTable(stored, 256));
    EXPECT_EQ(device.ramps[OURS_WIDE], rampFromTable(stored, 1024));
    EXPECT_EQ(device.ramps[OTHER], otherToolsRamp(256));
}

struct UntouchedCase {
    const char* what;
    ColorCalibration stored;
    ColorCalibration loaded;  // what the ramps hold at the start
};

void PrintTo(const UntouchedCase& c, std::ostream* os) { *os << c.what; }

class RampsLeftAlone : public ::testing::TestWithParam<UntouchedCase> {};

TEST_P(RampsLeftAlone, NoWriteAtStartOrAtExit) {
    const UntouchedCase& c = GetParam();
    FakeRampDevice device;
    device.ramps[OURS] = rampFromTable(calibrationTable(c.loaded), 256);
    device.ramps[OTHER] = otherToolsRamp(1024);
    const FakeRampDevice before = device;
    {
        RampHandover handover(device, calibrationTable(c.stored));
        EXPECT_TRUE(handover.takenOver().empty());
        handover.finish(calibrationTable(tunedValues()));
    }
    EXPECT_TRUE(device.written.empty()) << c.what;
    EXPECT_EQ(device.ramps, before.ramps) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RampsLeftAlone,
    ::testing::Values(
        // Identity tells nothing about who loaded it: nothing of ours to undo.
        UntouchedCase{"neutral stored values, identity ramps", ColorCalibration{}, ColorCalibration{}},
        UntouchedCase{"stored values, identity ramps", storedValues(), ColorCalibration{}},
        UntouchedCase{"ramps hold other values", storedValues(), tunedValues()}));

TEST(RampHandover, TheExitTableIsTheOneTheNextStartReadsBack) {
    // Ten steps down from 1.0 are 0.8999999999999999 in the program, but the
    // store keeps whole hundredths: the table loaded at exit must be the one
    // the next start computes from what was saved.
    ColorCalibration tuned;
    for (int i = 0; i < 10; ++i) tuned.red.contrast -= ADJUST_STEP;
    tuned.green.gamma = 1.234;

    MemorySettingsStore store;
    ASSERT_TRUE(saveCalibration(store, tuned));
    ColorCalibration nextStart;
    loadCalibration(store, nextStart);

    EXPECT_EQ(calibrationTable(asStored(tuned)), calibrationTable(nextStart));
    EXPECT_NE(calibrationTable(tuned), calibrationTable(nextStart));  // the case the rounding matters
}

}  // namespace
}  // namespace veltrane
