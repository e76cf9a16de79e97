#include <gtest/gtest.h>

#include <cmath>

#include "calibration/gamma_ramp.h"

namespace veltrane {
namespace {

CalibrationTable tunedTable() {
    ColorCalibration calibration;
    calibration.red = {1.02, 0.97, 2.2};
    calibration.green = {0.99, 1.01, 1.8};
    calibration.blue = {1.0, 0.93, 0.45};
    return calibrationTable(calibration);
}

// The ramp entry a card uses for 8-bit level k: the one nearest to k's position.
std::size_t entryForLevel(int k, std::size_t size) {
    return static_cast<std::size_t>((static_cast<double>(k) * static_cast<double>(size - 1)) / 255.0 + 0.5);
}

class RampSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(RampSizes, EveryEightBitLevelGetsExactlyTheTablesLevel) {
    const std::size_t size = GetParam();
    const CalibrationTable table = tunedTable();
    const GammaRamp ramp = rampFromTable(table, size);
    ASSERT_EQ(ramp.red.size(), size);
    ASSERT_EQ(ramp.green.size(), size);
    ASSERT_EQ(ramp.blue.size(), size);
    for (int k = 0; k < TABLE_LEVELS; ++k) {
        const std::size_t entry = entryForLevel(k, size);
        const auto level = static_cast<std::size_t>(k);
        EXPECT_EQ(ramp.red[entry], sixteenBitLevel(table.levels[0][level])) << "size " << size << ", level " << k;
        EXPECT_EQ(ramp.green[entry], sixteenBitLevel(table.levels[1][level])) << "size " << size << ", level " << k;
        EXPECT_EQ(ramp.blue[entry], sixteenBitLevel(table.levels[2][level])) << "size " << size << ", level " << k;
    }
    EXPECT_TRUE(rampHoldsTable(ramp, table));
    EXPECT_EQ(classifyRamp(ramp, table), RampContent::ThisCalibration);
}

TEST_P(RampSizes, TheStraightRampIsTheIdentity) {
    const std::size_t size = GetParam();
    const GammaRamp identity = identityRamp(size);
    EXPECT_EQ(identity.red.front(), 0);
    EXPECT_EQ(identity.red.back(), 65535);
    for (std::size_t i = 1; i < size; ++i) EXPECT_LT(identity.red[i - 1], identity.red[i]) << "entry " << i;
    EXPECT_EQ(identity.green, identity.red);
    EXPECT_EQ(identity.blue, identity.red);
    EXPECT_EQ(classifyRamp(identity, tunedTable()), RampContent::Identity);
    // The neutral calibration's own ramp is also reported as identity.
    EXPECT_EQ(classifyRamp(rampFromTable(calibrationTable({}), size), tunedTable()), RampContent::Identity);
}

TEST_P(RampSizes, CardsKeepingTenBitsStillHoldTheTable) {
    const std::size_t size = GetParam();
    const CalibrationTable table = tunedTable();
    GammaRamp ramp = rampFromTable(table, size);
    for (auto* channel : {&ramp.red, &ramp.green, &ramp.blue}) {
        for (auto& entry : *channel) entry = static_cast<std::uint16_t>(entry & 0xFFC0);
    }
    EXPECT_TRUE(rampHoldsTable(ramp, table));
}

TEST_P(RampSizes, OneLevelAwayIsSomethingElse) {
    const std::size_t size = GetParam();
    const CalibrationTable table = tunedTable();
    for (const std::size_t entry : {std::size_t{0}, size / 2, size - 1}) {
        GammaRamp ramp = rampFromTable(table, size);
        ramp.green[entry] = static_cast<std::uint16_t>(ramp.green[entry] >= 257 ? ramp.green[entry] - 257
                                                                                : ramp.green[entry] + 257);
        EXPECT_FALSE(rampHoldsTable(ramp, table)) << "entry " << entry;
        EXPECT_EQ(classifyRamp(ramp, table), RampContent::SomethingElse) << "entry " << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RampSizes, ::testing::Values(256, 1024, 2048, 4096, 257));

TEST(GammaRamp, TwoHundredFiftySixEntriesAreTheTableItself) {
    const CalibrationTable table = tunedTable();
    const GammaRamp ramp = rampFromTable(table, 256);
    for (std::size_t k = 0; k < 256; ++k) {
        EXPECT_EQ(ramp.red[k], table.levels[0][k] * 257);
        EXPECT_EQ(ramp.green[k], table.levels[1][k] * 257);
        EXPECT_EQ(ramp.blue[k], table.levels[2][k] * 257);
    }
    EXPECT_EQ(identityRamp(256).red[128], 128 * 257);
}

TEST(GammaRamp, ARampOfAnotherToolIsSomethingElse) {
    // What a per-channel gamma of 0.8 : 0.9 : 1.0 loads: blue straight, red and green bent.
    GammaRamp ramp = identityRamp(256);
    for (std::size_t i = 0; i < 256; ++i) {
        ramp.red[i] = static_cast<std::uint16_t>(65535.0 * std::pow(i / 255.0, 1 / 0.8) + 0.5);
        ramp.green[i] = static_cast<std::uint16_t>(65535.0 * std::pow(i / 255.0, 1 / 0.9) + 0.5);
    }
    EXPECT_EQ(classifyRamp(ramp, tunedTable()), RampContent::SomethingElse);
}

TEST(GammaRamp, MalformedRampsHoldNothing) {
    const CalibrationTable identity = calibrationTable({});
    GammaRamp uneven = identityRamp(256);
    uneven.blue.pop_back();
    EXPECT_FALSE(rampHoldsTable(uneven, identity));
    EXPECT_FALSE(rampHoldsTable(GammaRamp{}, identity));
    EXPECT_FALSE(rampHoldsTable(identityRamp(1), identity));
}

}  // namespace
}  // namespace veltrane
