#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "display/memory_surface.h"
#include "patterns/line_patterns.h"
#include "patterns/render_page.h"
#include "tests/support/surface_expectations.h"
#include "tests/support/test_surface.h"

namespace veltrane {
namespace {

using test::ExpectedBytes;
using test::matchesBytes;
using test::TestSurface;

struct Pattern {
    const char* name;
    bool (*draw)(Surface&);
    int page;
    bool (*white)(std::int32_t x, std::int32_t y);
};

// Rows, columns and a checkerboard at every width: the white top-left pixel,
// and the parity of x, y or x + y, decide each pixel.
const Pattern PATTERNS[] = {
    {"horizontal lines", drawHorizontalLines, 17, [](std::int32_t, std::int32_t y) { return y % 2 == 0; }},
    {"vertical lines", drawVerticalLines, 18, [](std::int32_t x, std::int32_t) { return x % 2 == 0; }},
    {"net dots", drawNetDots, 19, [](std::int32_t x, std::int32_t y) { return (x + y) % 2 == 0; }},
};

struct Geometry {
    std::int32_t width;
    std::int32_t height;
    std::int32_t bitsPerPixel;
    std::int32_t pitch;
};

std::ostream& operator<<(std::ostream& os, const Geometry& g) {
    return os << g.width << "x" << g.height << " " << g.bitsPerPixel << "bpp pitch " << g.pitch;
}

ExpectedBytes expectedPattern(const MemorySurface& surface, const Pattern& pattern) {
    ExpectedBytes expected(surface);
    for (std::int32_t y = 0; y < surface.height(); ++y) {
        for (std::int32_t x = 0; x < surface.width(); ++x) {
            expected.setColour(x, y, pattern.white(x, y) ? 0xFFFFFFu : 0x000000u);
        }
    }
    return expected;
}

class LinePatternGeometries : public ::testing::TestWithParam<Geometry> {
protected:
    TestSurface makeSurface() const {
        const Geometry& g = GetParam();
        TestSurface surface(g.width, g.height, g.bitsPerPixel, g.pitch);
        test::fillWithPositionPattern(surface);
        return surface;
    }
};

TEST_P(LinePatternGeometries, EachPixelBlackOrWhiteByItsParityAndNothingElseTouched) {
    for (const Pattern& pattern : PATTERNS) {
        TestSurface surface = makeSurface();
        // The fourth byte of 32-bit pixels and the bytes after each row keep their values.
        const ExpectedBytes expected = expectedPattern(surface, pattern);
        EXPECT_FALSE(pattern.draw(surface)) << pattern.name;
        EXPECT_TRUE(matchesBytes(surface, expected)) << pattern.name;
        EXPECT_EQ(surface.lockCount, 1) << pattern.name;
        EXPECT_EQ(surface.unlockCount, 1) << pattern.name;
    }
}

TEST_P(LinePatternGeometries, FailedLockWritesNothing) {
    for (const Pattern& pattern : PATTERNS) {
        TestSurface surface = makeSurface();
        surface.failLocks = true;
        const ExpectedBytes unchanged(surface);
        EXPECT_TRUE(pattern.draw(surface)) << pattern.name;
        EXPECT_TRUE(matchesBytes(surface, unchanged)) << pattern.name;
        EXPECT_EQ(surface.unlockCount, 0) << pattern.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LinePatternGeometries,
    ::testing::Values(Geometry{1024, 768, 32, 0}, Geometry{1024, 768, 24, 0},
                      Geometry{5, 7, 32, 0},        // odd width and odd height
                      Geometry{5, 7, 24, 0}, Geometry{5, 4, 24, 5 * 3 + 1},
                      Geometry{6, 3, 32, 6 * 4 + 8}, Geometry{1, 1, 32, 0}, Geometry{1, 6, 24, 0},
                      Geometry{7, 1, 24, 0}, Geometry{1366, 3, 24, 1366 * 3 + 2}));

// The cases people look at on a real screen, named outright.
TEST(LinePatterns, CornersOfA1024By768AndA5WideSurface) {
    TestSurface big(1024, 768, 32);
    drawHorizontalLines(big);
    EXPECT_EQ(big.pixel(0, 0), 0xFFFFFFu);
    EXPECT_EQ(big.pixel(0, 767), 0x000000u);
    drawVerticalLines(big);
    EXPECT_EQ(big.pixel(0, 500), 0xFFFFFFu);
    EXPECT_EQ(big.pixel(1023, 500), 0x000000u);
    drawNetDots(big);
    EXPECT_EQ(big.pixel(1023, 0), 0x000000u);
    EXPECT_EQ(big.pixel(0, 1), 0x000000u);

    TestSurface narrow(5, 3, 24);
    drawVerticalLines(narrow);  // columns, not a checkerboard
    EXPECT_EQ(narrow.pixel(0, 1), 0xFFFFFFu);
    EXPECT_EQ(narrow.pixel(4, 2), 0xFFFFFFu);
    drawNetDots(narrow);  // a checkerboard, not columns
    EXPECT_EQ(narrow.pixel(0, 1), 0x000000u);
    EXPECT_EQ(narrow.pixel(4, 1), 0x000000u);
    drawHorizontalLines(narrow);  // an odd number of rows ends white
    EXPECT_EQ(narrow.pixel(2, 2), 0xFFFFFFu);
}

TEST(LinePatterns, CalibrationIsIgnoredOnTheirPages) {
    ColorCalibration calibration;
    for (ChannelCalibration* c : {&calibration.red, &calibration.green, &calibration.blue}) {
        c->brightness = 0.5;
        c->contrast = 3.0;
        c->gamma = -1.0;
    }
    for (const Pattern& pattern : PATTERNS) {
        TestSurface surface(9, 5, 32);
        test::fillWithPositionPattern(surface);
        const ExpectedBytes expected = expectedPattern(surface, pattern);
        renderPage({surface, nullptr, 9, 5}, pattern.page, calibration);
        EXPECT_TRUE(matchesBytes(surface, expected)) << pattern.name;
    }
}

}  // namespace
}  // namespace veltrane
