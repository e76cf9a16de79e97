#include <gtest/gtest.h>

#include <iomanip>
#include <ostream>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/key_map.h"
#include "calibration/settings_codec.h"
#include "tests/support/memory_settings_store.h"

namespace veltrane {
namespace {

constexpr std::int32_t INT32_LOWEST = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t INT32_HIGHEST = std::numeric_limits<std::int32_t>::max();

const std::vector<std::string> TABLE_ORDER = {"MonRG", "MonGG", "MonBG", "MonRB", "MonGB",
                                              "MonBB", "MonRC", "MonGC", "MonBC"};

// Records every call, so the order of opening, reading, writing and closing shows.
class RecordingStore final : public SettingsStore {
public:
    bool open() override {
        calls.push_back("open");
        return openSucceeds;
    }
    std::optional<std::int32_t> read(std::string_view name) override {
        calls.push_back("read " + std::string(name));
        return std::nullopt;
    }
    void write(std::string_view name, std::int32_t value) override {
        calls.push_back("write " + std::string(name) + " " + std::to_string(value));
    }
    bool close() override {
        calls.push_back("close");
        return true;
    }
    std::vector<std::string> calls;
    bool openSucceeds = true;
};

ColorCalibration distinctCalibration() {
    ColorCalibration c;
    c.red = {0.11, 0.12, 0.13};    // brightness, contrast, gamma
    c.green = {0.21, 0.22, 0.23};
    c.blue = {0.31, 0.32, 0.33};
    return c;
}

TEST(LoadCalibration, ReadsTheNineValuesInTableOrderThenCloses) {
    RecordingStore store;
    ColorCalibration c;
    loadCalibration(store, c);
    std::vector<std::string> expected = {"open"};
    for (const std::string& name : TABLE_ORDER) expected.push_back("read " + name);
    expected.push_back("close");
    EXPECT_EQ(store.calls, expected);
}

TEST(SaveCalibration, WritesTheNineValuesInTableOrderThenCloses) {
    RecordingStore store;
    EXPECT_TRUE(saveCalibration(store, distinctCalibration()));
    const std::vector<std::string> expected = {
        "open",          "write MonRG 13", "write MonGG 23", "write MonBG 33", "write MonRB 11",
        "write MonGB 21", "write MonBB 31", "write MonRC 12", "write MonGC 22", "write MonBC 32",
        "close"};
    EXPECT_EQ(store.calls, expected);
}

TEST(LoadCalibration, EachNameFillsItsOwnParameter) {
    MemorySettingsStore store;
    store.values = {{"MonRG", 13}, {"MonGG", 23}, {"MonBG", 33}, {"MonRB", 11}, {"MonGB", 21},
                    {"MonBB", 31}, {"MonRC", 12}, {"MonGC", 22}, {"MonBC", 32}};
    ColorCalibration c;
    loadCalibration(store, c);
    const ColorCalibration want = distinctCalibration();
    for (const auto& [got, expected] : {std::pair{&c.red, &want.red}, std::pair{&c.green, &want.green},
                                        std::pair{&c.blue, &want.blue}}) {
        EXPECT_EQ(got->brightness, expected->brightness);
        EXPECT_EQ(got->contrast, expected->contrast);
        EXPECT_EQ(got->gamma, expected->gamma);
    }
    EXPECT_FALSE(store.isOpen);
}

TEST(LoadCalibration, MissingValuesGiveOneAndStoredPercentsAreDividedBy100) {
    MemorySettingsStore store;
    store.values = {{"MonRG", 250}, {"MonRB", -40}, {"MonBC", 0}};
    ColorCalibration c = distinctCalibration();  // every parameter is replaced
    loadCalibration(store, c);
    EXPECT_EQ(c.red.gamma, 2.5);
    EXPECT_EQ(c.red.brightness, -0.4);
    EXPECT_EQ(c.blue.contrast, 0.0);
    EXPECT_EQ(c.red.contrast, 1.0);
    EXPECT_EQ(c.green.brightness, 1.0);
    EXPECT_EQ(c.green.contrast, 1.0);
    EXPECT_EQ(c.green.gamma, 1.0);
    EXPECT_EQ(c.blue.brightness, 1.0);
    EXPECT_EQ(c.blue.gamma, 1.0);
}

TEST(LoadCalibration, StoreThatCannotBeOpenedLeavesTheCalibration) {
    MemorySettingsStore store;
    store.failOpen = true;
    store.values = {{"MonRG", 250}};
    ColorCalibration c = distinctCalibration();
    loadCalibration(store, c);
    EXPECT_EQ(c.red.gamma, 0.13);
    EXPECT_EQ(c.blue.contrast, 0.32);

    RecordingStore recording;
    recording.openSucceeds = false;
    loadCalibration(recording, c);
    EXPECT_EQ(recording.calls, std::vector<std::string>{"open"});
}

TEST(SaveCalibration, FailsWhenTheStoreCannotBeOpenedOrClosed) {
    MemorySettingsStore cannotOpen;
    cannotOpen.failOpen = true;
    EXPECT_FALSE(saveCalibration(cannotOpen, {}));
    EXPECT_TRUE(cannotOpen.writeOrder.empty());

    MemorySettingsStore cannotClose;
    cannotClose.failClose = true;
    EXPECT_FALSE(saveCalibration(cannotClose, {}));

    MemorySettingsStore fine;
    EXPECT_TRUE(saveCalibration(fine, {}));
    EXPECT_EQ(fine.writeOrder, TABLE_ORDER);
    for (const std::string& name : TABLE_ORDER) EXPECT_EQ(fine.values.at(name), 100) << name;
}

TEST(SettingsCodec, EveryPercentFromMinus300To300SurvivesLoadAndSave) {
    for (std::int32_t percent = -300; percent <= 300; ++percent) {
        MemorySettingsStore first;
        for (const std::string& name : TABLE_ORDER) first.values[name] = percent;
        ColorCalibration c;
        loadCalibration(first, c);
        MemorySettingsStore second;
        ASSERT_TRUE(saveCalibration(second, c));
        for (const std::string& name : TABLE_ORDER) {
            ASSERT_EQ(second.values.at(name), percent) << name;
        }
    }
}

TEST(SettingsCodec, KeyboardStepsAreSavedAsTheHundredthsTheCaptionShows) {
    // From 1.0, n presses of Delete or Insert store 100 - n or 100 + n.
    for (const std::uint32_t key : {KEY_DELETE, KEY_INSERT}) {
        ControlState state;
        for (int n = 1; n <= 300; ++n) {
            handleKeyDown(state, key);
            MemorySettingsStore store;
            saveCalibration(store, state.calibration);
            ASSERT_EQ(store.values.at("MonRB"), key == KEY_DELETE ? 100 - n : 100 + n) << n;
        }
    }
}

struct PercentCase {
    double parameter;
    std::int32_t expected;
};

void PrintTo(const PercentCase& c, std::ostream* os) {
    *os << std::setprecision(17) << c.parameter << " -> " << c.expected;
}

class ParameterToPercentCases : public ::testing::TestWithParam<PercentCase> {};

TEST_P(ParameterToPercentCases, RoundsToTheNearestPercentAndSaturates) {
    const PercentCase& c = GetParam();
    EXPECT_EQ(parameterToPercent(c.parameter), c.expected) << "parameter " << c.parameter;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParameterToPercentCases,
    ::testing::Values(PercentCase{1.0, 100}, PercentCase{0.8999999999999999, 90},
                      PercentCase{1.1000000000000001, 110}, PercentCase{0.57, 57},
                      PercentCase{2.5, 250}, PercentCase{-0.4, -40}, PercentCase{0.0, 0},
                      PercentCase{-0.0, 0}, PercentCase{0.004, 0}, PercentCase{0.006, 1},
                      PercentCase{-0.006, -1}, PercentCase{21474836.47, INT32_HIGHEST},
                      PercentCase{21474836.48, INT32_HIGHEST}, PercentCase{1e10, INT32_HIGHEST},
                      PercentCase{1e300, INT32_HIGHEST},
                      PercentCase{std::numeric_limits<double>::infinity(), INT32_HIGHEST},
                      PercentCase{-21474836.48, INT32_LOWEST}, PercentCase{-21474836.49, INT32_LOWEST},
                      PercentCase{-1e300, INT32_LOWEST},
                      PercentCase{-std::numeric_limits<double>::infinity(), INT32_LOWEST},
                      PercentCase{std::numeric_limits<double>::quiet_NaN(), 0}));

TEST(SettingsCodec, ExtremeStoredValuesLoadAndSaveBackUnchanged) {
    for (const std::int32_t percent : {INT32_LOWEST, INT32_LOWEST + 1, INT32_HIGHEST - 1, INT32_HIGHEST}) {
        MemorySettingsStore first;
        first.values["MonGC"] = percent;
        ColorCalibration c;
        loadCalibration(first, c);
        MemorySettingsStore second;
        saveCalibration(second, c);
        EXPECT_EQ(second.values.at("MonGC"), percent);
    }
    EXPECT_EQ(percentToParameter(INT32_LOWEST), -21474836.48);
}

TEST(SettingsFailureMessages, OneTextPerChannelWithSixDecimals) {
    const auto neutral = settingsFailureMessages({});
    EXPECT_EQ(neutral[0], "Red: B=1.000000, C=1.000000, G=1.000000");
    EXPECT_EQ(neutral[1], "Green: B=1.000000, C=1.000000, G=1.000000");
    EXPECT_EQ(neutral[2], "Blue: B=1.000000, C=1.000000, G=1.000000");

    ColorCalibration c;
    c.red = {0.5, 2.0, -1.25};
    c.blue = {0.8999999999999999, 0.0, 123.4567891};
    const auto changed = settingsFailureMessages(c);
    EXPECT_EQ(changed[0], "Red: B=0.500000, C=2.000000, G=-1.250000");
    EXPECT_EQ(changed[2], "Blue: B=0.900000, C=0.000000, G=123.456789");
    EXPECT_EQ(SETTINGS_FAILURE_CAPTION, "Setting");
}

TEST(SettingsFailureMessages, HugeValuesAreCutNotOverrun) {
    ColorCalibration c;
    c.green = {1e300, -1e300, 1e300};
    const auto messages = settingsFailureMessages(c);
    EXPECT_EQ(messages[1].size(), 255u);
    EXPECT_EQ(messages[1].substr(0, 11), "Green: B=10");
}

}  // namespace
}  // namespace veltrane
