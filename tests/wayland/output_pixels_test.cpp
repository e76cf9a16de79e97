// Scales found from what compositors tell, and the page laid over an output's
// pixels so that each page pixel lands on one output pixel: the sizes and
// scales sway gives a full-screen window, the fractional ones among them
// leaving the window a fraction of a pixel short of the output's edges.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

#include "platform/wayland/output_pixels.h"

namespace veltrane {

void PrintTo(const SurfacePlacement& p, std::ostream* os) {
    *os << "logical " << p.logical.x << "," << p.logical.y << " " << p.logical.width << "x" << p.logical.height
        << ", pixels " << p.pixels.x << "," << p.pixels.y << " " << p.pixels.width << "x" << p.pixels.height;
}

namespace {

struct ScaleCase {
    std::int32_t pixelWidth, pixelHeight, logicalWidth, logicalHeight;
    std::optional<std::int32_t> expectedPer120;
};

void PrintTo(const ScaleCase& c, std::ostream* os) {
    *os << c.pixelWidth << "x" << c.pixelHeight << " shown as " << c.logicalWidth << "x" << c.logicalHeight;
}

class ScaleFromLogicalSize : public testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleFromLogicalSize, FindsTheScaleTheUserSet) {
    const ScaleCase& c = GetParam();
    const std::optional<OutputScale> scale =
        scaleFromLogicalSize(c.pixelWidth, c.pixelHeight, c.logicalWidth, c.logicalHeight);
    ASSERT_EQ(scale.has_value(), c.expectedPer120.has_value());
    if (scale) {
        EXPECT_EQ(scale->per120, *c.expectedPer120);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScaleFromLogicalSize,
    testing::Values(ScaleCase{1280, 800, 1280, 800, 120}, ScaleCase{1280, 800, 1024, 640, 150},
                    ScaleCase{1280, 800, 853, 533, 180},  // 853.33 and 533.33 truncated
                    ScaleCase{1280, 800, 731, 457, 210},  // 1.75, not the 1.7511 the sizes suggest
                    ScaleCase{1280, 800, 640, 400, 240}, ScaleCase{1280, 800, 426, 266, 360},
                    ScaleCase{1920, 1080, 1097, 617, 210}, ScaleCase{3840, 2160, 2560, 1440, 180},
                    // No scale gives these logical sizes.
                    ScaleCase{1280, 800, 640, 800, std::nullopt}, ScaleCase{1280, 800, 2000, 2000, std::nullopt},
                    ScaleCase{1280, 800, 0, 0, std::nullopt}));

TEST(DescribeScale, WritesTheScaleAsUsersTypeIt) {
    EXPECT_EQ(describeScale({120}), "1");
    EXPECT_EQ(describeScale({150}), "1.25");
    EXPECT_EQ(describeScale({180}), "1.5");
    EXPECT_EQ(describeScale({210}), "1.75");
    EXPECT_EQ(describeScale({240}), "2");
    EXPECT_EQ(describeScale({360}), "3");
    EXPECT_EQ(describeScale({121}), "1.0083");
}

TEST(PixelEdge, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(pixelEdge(731, {210}), 1279);  // 1279.25
    EXPECT_EQ(pixelEdge(732, {210}), 1281);  // 1281
    EXPECT_EQ(pixelEdge(730, {210}), 1278);  // 1277.5
    EXPECT_EQ(pixelEdge(853, {180}), 1280);  // 1279.5
    EXPECT_EQ(pixelEdge(-1, {180}), -2);     // -1.5
}

struct LayoutCase {
    const char* what;
    std::int32_t pageWidth, pageHeight, windowWidth, windowHeight, per120;
    std::vector<SurfacePlacement> expected;
    std::int64_t expectedUncovered;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.what; }

class PageLayoutTable : public testing::TestWithParam<LayoutCase> {};

TEST_P(PageLayoutTable, CoversEveryOutputPixelOneToOne) {
    const LayoutCase& c = GetParam();
    const PageLayout layout = layOutPage(c.pageWidth, c.pageHeight, c.windowWidth, c.windowHeight, {c.per120});
    EXPECT_EQ(layout.surfaces, c.expected);
    EXPECT_EQ(layout.uncoveredPixels, c.expectedUncovered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageLayoutTable,
    testing::Values(
        LayoutCase{"scale 1", 1280, 800, 1280, 800, 120, {{{0, 0, 1280, 800}, {0, 0, 1280, 800}}}, 0},
        LayoutCase{"scale 1.5: 853 logical pixels reach pixel 1280", 1280, 800, 853, 533, 180,
                   {{{0, 0, 853, 533}, {0, 0, 1280, 800}}}, 0},
        LayoutCase{"scale 1.75: a column short, a right strip of three pixels",
                   1280,
                   800,
                   731,
                   457,
                   210,
                   {{{0, 0, 731, 457}, {0, 0, 1279, 800}}, {{730, 0, 2, 457}, {1278, 0, 3, 800}}},
                   0},
        LayoutCase{"scale 1.75 at 1024x768: a row short, a bottom strip",
                   1024,
                   768,
                   585,
                   438,
                   210,
                   {{{0, 0, 585, 438}, {0, 0, 1024, 767}}, {{0, 437, 585, 2}, {0, 765, 1024, 3}}},
                   0},
        LayoutCase{"scale 3: two columns and two rows short, both strips and their corner",
                   1280,
                   800,
                   426,
                   266,
                   360,
                   {{{0, 0, 426, 266}, {0, 0, 1278, 798}},
                    {{425, 0, 2, 266}, {1275, 0, 6, 798}},
                    {{0, 265, 426, 2}, {0, 795, 1278, 6}},
                    {{425, 265, 2, 2}, {1275, 795, 6, 6}}},
                   0},
        LayoutCase{"a window the compositor made smaller than the output is shown as it is",
                   1280,
                   800,
                   600,
                   400,
                   120,
                   {{{0, 0, 600, 400}, {0, 0, 600, 400}}},
                   1280 * 800 - 600 * 400},
        LayoutCase{"no window size yet", 1280, 800, 0, 0, 120, {}, 0}));

}  // namespace
}  // namespace veltrane
