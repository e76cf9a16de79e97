#include <gtest/gtest.h>

#include <iomanip>
#include <ostream>
#include <cmath>
#include <cstdint>
#include <limits>

#include "calibration/color_calibration.h"

namespace veltrane {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double TWO_TO_63 = 9223372036854775808.0;

TEST(CorrectLevel, NeutralParametersGiveEveryLevelBack) {
    const ChannelCalibration neutral;
    for (int k = 0; k <= 255; ++k) {
        EXPECT_EQ(correctLevel(neutral, k / 255.0), k) << "level " << k;
    }
}

struct LevelCase {
    const char* what;
    ChannelCalibration channel;  // brightness, contrast, gamma
    double intensity;
    int expected;
};

void PrintTo(const LevelCase& c, std::ostream* os) { *os << c.what; }

class CorrectLevelCases : public ::testing::TestWithParam<LevelCase> {};

TEST_P(CorrectLevelCases, GivesTheProgramsLevel) {
    const LevelCase& c = GetParam();
    EXPECT_EQ(correctLevel(c.channel, c.intensity), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CorrectLevelCases,
    ::testing::Values(
        // 0.5 * 255 = 127.5 truncates; 0.6 + 0.5 over 1 clamps.
        LevelCase{"brightness 1.5, off", {1.5, 1.0, 1.0}, 0.0, 127},
        LevelCase{"brightness 1.5, 0.6", {1.5, 1.0, 1.0}, 0.6, 255},
        LevelCase{"brightness 0.5, full on", {0.5, 1.0, 1.0}, 1.0, 127},
        LevelCase{"brightness 0.5, off clamps below", {0.5, 1.0, 1.0}, 0.0, 0},
        LevelCase{"contrast 0, off", {1.0, 0.0, 1.0}, 0.0, 0},
        LevelCase{"contrast 0, half", {1.0, 0.0, 1.0}, 0.5, 0},
        LevelCase{"contrast 0, full on", {1.0, 0.0, 1.0}, 1.0, 0},
        LevelCase{"contrast 0.5, full on", {1.0, 0.5, 1.0}, 1.0, 127},
        LevelCase{"gamma 0: 0 to the 0 is 1", {1.0, 1.0, 0.0}, 0.0, 255},
        LevelCase{"gamma 0, half", {1.0, 1.0, 0.0}, 0.5, 255},
        LevelCase{"gamma 2, k=128", {1.0, 1.0, 2.0}, 128 / 255.0, 64},
        LevelCase{"gamma -1: 0 gives infinity, converted to 0", {1.0, 1.0, -1.0}, 0.0, 0},
        LevelCase{"gamma -1: 1/255 gives 255*255, clamped", {1.0, 1.0, -1.0}, 1 / 255.0, 255},
        LevelCase{"gamma -1, full on", {1.0, 1.0, -1.0}, 1.0, 255},
        // 255^4 is about 4.2e9: its low 32 bits read as signed are negative.
        LevelCase{"gamma -3 wraps to a negative level", {1.0, 1.0, -3.0}, 1 / 255.0, 0},
        LevelCase{"negative contrast, off", {1.0, -1.0, 1.0}, 0.0, 0},
        LevelCase{"negative contrast, full on", {1.0, -1.0, 1.0}, 1.0, 0},
        LevelCase{"negative contrast with offset, off", {2.0, -1.0, 1.0}, 0.0, 255},
        LevelCase{"negative contrast with offset, half", {2.0, -1.0, 1.0}, 0.5, 127},
        LevelCase{"negative contrast with offset, full on", {2.0, -1.0, 1.0}, 1.0, 0},
        // 255 * 16843009 = 2^32 - 1: low 32 bits are -1.
        LevelCase{"2^32 - 1 wraps to -1", {1.0, 16843009.0, 1.0}, 1.0, 0},
        // 255 * 16843010 = 2^32 + 254: the wrap gives 254, not the clamp's 255.
        LevelCase{"2^32 + 254 wraps to 254", {1.0, 16843010.0, 1.0}, 1.0, 254},
        LevelCase{"NaN brightness", {NaN, 1.0, 1.0}, 0.5, 0},
        LevelCase{"NaN contrast", {1.0, NaN, 1.0}, 0.5, 0},
        LevelCase{"NaN gamma", {1.0, 1.0, NaN}, 0.5, 0},
        LevelCase{"NaN gamma at 1.0: 1 to any power is 1", {1.0, 1.0, NaN}, 1.0, 255},
        LevelCase{"NaN intensity", {1.0, 1.0, 1.0}, NaN, 0},
        // Infinity becomes -2^63, whose low 32 bits are 0: not the clamp's 255.
        LevelCase{"infinite contrast", {1.0, INF, 1.0}, 0.5, 0},
        LevelCase{"infinite brightness", {INF, 1.0, 1.0}, 0.5, 0},
        LevelCase{"minus infinite brightness", {-INF, 1.0, 1.0}, 0.5, 0},
        LevelCase{"infinite contrast times zero is NaN", {1.0, INF, 1.0}, 0.0, 0},
        LevelCase{"huge gamma underflows to 0", {1.0, 1.0, 1e300}, 0.5, 0}));

struct TruncateCase {
    double value;
    std::int32_t expected;
};

void PrintTo(const TruncateCase& c, std::ostream* os) {
    *os << std::setprecision(17) << c.value << " -> " << c.expected;
}

class TruncateToInt32Cases : public ::testing::TestWithParam<TruncateCase> {};

TEST_P(TruncateToInt32Cases, FollowsTheProgramsRule) {
    const TruncateCase& c = GetParam();
    EXPECT_EQ(truncateToInt32(c.value), c.expected) << "value " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TruncateToInt32Cases,
    ::testing::Values(TruncateCase{0.0, 0}, TruncateCase{-0.0, 0}, TruncateCase{-0.5, 0},
                      TruncateCase{0.999, 0}, TruncateCase{2.9, 2}, TruncateCase{-2.9, -2},
                      TruncateCase{127.5, 127}, TruncateCase{2147483647.9, 2147483647},
                      // 2^31 does not fit: its low 32 bits are the sign bit.
                      TruncateCase{2147483648.0, std::numeric_limits<std::int32_t>::min()},
                      TruncateCase{-2147483649.0, 2147483647},
                      // 4.2e9 - 2^32
                      TruncateCase{4.2e9, -94967296}, TruncateCase{4294967296.0 + 7.9, 7},
                      // The largest double below 2^63 still truncates: 2^63 - 1024.
                      TruncateCase{TWO_TO_63 - 1024.0, -1024},
                      TruncateCase{-(TWO_TO_63 - 1024.0), 1024},
                      // From 2^63 on, and for anything not finite, -2^63: low bits 0.
                      TruncateCase{TWO_TO_63, 0}, TruncateCase{-TWO_TO_63, 0},
                      TruncateCase{1e300, 0}, TruncateCase{-1e300, 0}, TruncateCase{INF, 0},
                      TruncateCase{-INF, 0}, TruncateCase{NaN, 0}));

TEST(CorrectedColor, PacksRedGreenBlueWithAZeroTopByte) {
    const ColorCalibration neutral;
    EXPECT_EQ(correctedColor(neutral, 1.0, 0.5, 64 / 255.0), 0x00FF7F40u);
    EXPECT_EQ(correctedColor(neutral, 1.0, 1.0, 1.0), 0x00FFFFFFu);
    EXPECT_EQ(correctedColor(neutral, 0.0, 0.0, 0.0), 0x00000000u);
}

TEST(CorrectedColor, EachChannelUsesItsOwnParameters) {
    // Brightness 1.5 lifts input 0.0 to 127 on exactly the channel it belongs to.
    ColorCalibration red;
    red.red.brightness = 1.5;
    ColorCalibration green;
    green.green.brightness = 1.5;
    ColorCalibration blue;
    blue.blue.brightness = 1.5;
    EXPECT_EQ(correctedColor(red, 0.0, 0.0, 0.0), 0x007F0000u);
    EXPECT_EQ(correctedColor(green, 0.0, 0.0, 0.0), 0x00007F00u);
    EXPECT_EQ(correctedColor(blue, 0.0, 0.0, 0.0), 0x0000007Fu);

    ColorCalibration gammas;
    gammas.red.gamma = 2.0;  // 128/255 squared: 64
    gammas.blue.gamma = -1.0;  // 0 to the -1: infinite, converted to 0
    EXPECT_EQ(correctedColor(gammas, 128 / 255.0, 128 / 255.0, 0.0), 0x00408000u);
}

TEST(ResetCalibration, SetsAllNineParametersToOne) {
    ColorCalibration c;
    c.red = {0.1, 0.2, 0.3};
    c.green = {-4.0, NaN, INF};
    c.blue = {7.0, 8.0, -9.0};
    resetCalibration(c);
    for (const ChannelCalibration* ch : {&c.red, &c.green, &c.blue}) {
        EXPECT_EQ(ch->brightness, 1.0);
        EXPECT_EQ(ch->contrast, 1.0);
        EXPECT_EQ(ch->gamma, 1.0);
    }
}

TEST(AdjustStep, AccumulatesOrdinaryDoubleRounding) {
    double down = 1.0;
    double up = 1.0;
    for (int i = 0; i < 10; ++i) {
        down -= ADJUST_STEP;
        up += ADJUST_STEP;
    }
    EXPECT_EQ(down, 0.8999999999999999);
    EXPECT_NE(down, 0.9);
    EXPECT_EQ(up, 1.1000000000000001);
    EXPECT_EQ(up * 100.0, 110.00000000000001);
}

}  // namespace
}  // namespace veltrane
