#include <gtest/gtest.h>

#include <limits>
#include <ostream>

#include "calibration/calibration_table.h"
#include "patterns/render_page.h"
#include "display/memory_surface.h"

namespace veltrane {
namespace {

constexpr int GREY_GRID_PAGE = 8;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(CalibrationTable, NeutralValuesGiveTheIdentity) {
    const CalibrationTable table = calibrationTable(ColorCalibration{});
    EXPECT_TRUE(table.isIdentity());
    for (const auto& channel : table.levels) {
        for (int k = 0; k < TABLE_LEVELS; ++k) EXPECT_EQ(channel[static_cast<std::size_t>(k)], k);
    }
}

TEST(CalibrationTable, OneLevelOffIsNotTheIdentity) {
    ColorCalibration calibration;
    calibration.blue.brightness = 1.0 + 1.0 / 255.0;  // every blue level one up, 255 stays
    EXPECT_FALSE(calibrationTable(calibration).isIdentity());
}

TEST(CalibrationTable, SixteenBitEntriesSpanTheFullRange) {
    EXPECT_EQ(sixteenBitLevel(0), 0);
    EXPECT_EQ(sixteenBitLevel(1), 257);
    EXPECT_EQ(sixteenBitLevel(128), 32896);
    EXPECT_EQ(sixteenBitLevel(255), 65535);
}

struct TableCase {
    const char* what;
    ColorCalibration calibration;  // red, green, blue: {brightness, contrast, gamma}
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.what; }

class TableMatchesThePages : public ::testing::TestWithParam<TableCase> {};

// The grey grid shows every level k in block k, each channel through its own
// correction. Drawn at 16 x 16 pixels, pixel (k % 16, k / 16) is block k, so
// the page itself says which level it shows for every k.
TEST_P(TableMatchesThePages, EveryLevelIsTheOneTheGreyGridDraws) {
    const TableCase& c = GetParam();
    MemorySurface surface(16, 16, 32);
    renderPage({surface, nullptr, 16, 16}, GREY_GRID_PAGE, c.calibration);
    const CalibrationTable table = calibrationTable(c.calibration);
    for (int k = 0; k < TABLE_LEVELS; ++k) {
        const std::uint32_t drawn = surface.pixel(k % 16, k / 16);
        const auto i = static_cast<std::size_t>(k);
        EXPECT_EQ(table.levels[0][i], (drawn >> 16) & 0xFF) << c.what << ", red, level " << k;
        EXPECT_EQ(table.levels[1][i], (drawn >> 8) & 0xFF) << c.what << ", green, level " << k;
        EXPECT_EQ(table.levels[2][i], drawn & 0xFF) << c.what << ", blue, level " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calibrations, TableMatchesThePages,
    ::testing::Values(
        TableCase{"neutral", {}},
        TableCase{"tuned", {{1.02, 0.97, 2.2}, {0.99, 1.01, 1.8}, {1.0, 0.93, 2.4}}},
        TableCase{"gamma 0 and negative", {{1.0, 1.0, 0.0}, {1.0, 1.0, -1.0}, {1.0, 1.0, -3.0}}},
        TableCase{"contrast 0 and negative", {{1.0, 0.0, 1.0}, {1.0, -0.5, 1.0}, {1.5, -1.0, 2.0}}},
        TableCase{"brightness far above 1 and below 0", {{40.0, 1.0, 1.0}, {-3.0, 1.0, 1.0}, {1.5, 1.0, 1.0}}},
        TableCase{"huge values", {{1e300, 1e300, 1.0}, {1.0, 1e300, 1e300}, {1.0, 1.0, -1e300}}},
        TableCase{"not a number", {{NaN, 1.0, 1.0}, {1.0, NaN, 1.0}, {1.0, 1.0, NaN}}}));

}  // namespace
}  // namespace veltrane
