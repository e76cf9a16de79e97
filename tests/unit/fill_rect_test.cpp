#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>

#include "display/fill_rect.h"
#include "display/memory_surface.h"
#include "tests/support/surface_expectations.h"
#include "tests/support/test_surface.h"

namespace veltrane {
namespace {

using test::ExpectedBytes;
using test::matchesBytes;
using test::TestSurface;

// Red 255, green 128, blue 64: stored as the bytes 64, 128, 255.
constexpr std::uint32_t COLOUR = 0x00FF8040;
constexpr std::int32_t WIDTH = 40;
constexpr std::int32_t HEIGHT = 30;

struct Layout {
    std::int32_t bitsPerPixel;
    std::int32_t pitch;  // 0 is the tightest; larger ones leave bytes after each row
};

std::ostream& operator<<(std::ostream& os, const Layout& l) {
    return os << l.bitsPerPixel << "bpp pitch " << l.pitch;
}

class FillRectLayouts : public ::testing::TestWithParam<Layout> {
protected:
    FillRectLayouts() : surface(WIDTH, HEIGHT, GetParam().bitsPerPixel, GetParam().pitch) {
        test::fillWithPositionPattern(surface);
    }

    // What the surface must hold after the given area (already inside) was filled.
    ExpectedBytes expectFilled(Rect area) const {
        ExpectedBytes expected(surface);
        for (std::int32_t y = area.top; y < area.bottom; ++y) {
            for (std::int32_t x = area.left; x < area.right; ++x) expected.setColour(x, y, COLOUR);
        }
        return expected;
    }

    TestSurface surface;
};

TEST_P(FillRectLayouts, StoresBlueGreenRedAtEachPixelAndNothingElse) {
    const Rect rect{0, 0, 2, 1};
    const ExpectedBytes expected = expectFilled(rect);
    EXPECT_FALSE(fillRect(surface, &rect, COLOUR));
    const std::uint8_t* first = surface.bytes().data();
    const std::int32_t step = GetParam().bitsPerPixel / 8;
    EXPECT_EQ(first[0], 64);
    EXPECT_EQ(first[1], 128);
    EXPECT_EQ(first[2], 255);
    EXPECT_EQ(first[step + 0], 64);
    EXPECT_EQ(first[step + 1], 128);
    EXPECT_EQ(first[step + 2], 255);
    EXPECT_TRUE(matchesBytes(surface, expected));
}

TEST_P(FillRectLayouts, NullRectangleFillsTheWholeSurfaceOnly) {
    const ExpectedBytes expected = expectFilled({0, 0, WIDTH, HEIGHT});
    EXPECT_FALSE(fillRect(surface, nullptr, COLOUR));
    // The fourth byte of 32-bit pixels and the bytes after each row keep their values.
    EXPECT_TRUE(matchesBytes(surface, expected));
    EXPECT_EQ(surface.lockCount, 1);
    EXPECT_EQ(surface.unlockCount, 1);
}

TEST_P(FillRectLayouts, RectangleCoversLeftToRightMinusOneAndTopToBottomMinusOne) {
    const Rect rect{10, 20, 30, 25};  // 20 pixels in each of 5 rows
    const ExpectedBytes expected = expectFilled(rect);
    EXPECT_FALSE(fillRect(surface, &rect, COLOUR));
    EXPECT_TRUE(matchesBytes(surface, expected));
    EXPECT_EQ(surface.lockCount, 1);
    EXPECT_EQ(surface.unlockCount, 1);
}

TEST_P(FillRectLayouts, EmptyRectanglesWriteNothingButStillLockOnce) {
    const Rect empties[] = {
        {5, 5, 5, 10},    // right equals left
        {5, 5, 10, 5},    // bottom equals top
        {10, 5, 5, 10},   // negative width
        {5, 10, 10, 5},   // negative height
        {0, 0, 0, 0},
        {WIDTH, HEIGHT, WIDTH, HEIGHT},
    };
    const ExpectedBytes unchanged(surface);
    int calls = 0;
    for (const Rect& rect : empties) {
        EXPECT_FALSE(fillRect(surface, &rect, COLOUR));
        ++calls;
        EXPECT_EQ(surface.lockCount, calls);
        EXPECT_EQ(surface.unlockCount, calls);
    }
    EXPECT_TRUE(matchesBytes(surface, unchanged));
}

struct ClipCase {
    Rect rect;
    Rect inside;  // what is written: the rectangle cut to the surface
};

TEST_P(FillRectLayouts, RectanglesReachingOutsideAreClippedToTheSurface) {
    constexpr std::int32_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t hi = std::numeric_limits<std::int32_t>::max();
    const ClipCase cases[] = {
        {{-5, -5, 3, 4}, {0, 0, 3, 4}},
        {{35, 25, 100, 100}, {35, 25, WIDTH, HEIGHT}},
        {{-1, 10, WIDTH + 1, 11}, {0, 10, WIDTH, 11}},
        {{lo, lo, hi, hi}, {0, 0, WIDTH, HEIGHT}},
        {{-100, 0, -50, 10}, {0, 0, 0, 0}},                 // wholly left
        {{WIDTH + 10, 0, WIDTH + 20, 10}, {0, 0, 0, 0}},    // wholly right
        {{0, HEIGHT, 10, HEIGHT + 5}, {0, 0, 0, 0}},        // wholly below
        {{0, -10, 10, -1}, {0, 0, 0, 0}},                   // wholly above
        {{hi - 1, hi - 1, hi, hi}, {0, 0, 0, 0}},
    };
    for (const ClipCase& c : cases) {
        test::fillWithPositionPattern(surface);
        const ExpectedBytes expected = expectFilled(c.inside);
        EXPECT_FALSE(fillRect(surface, &c.rect, COLOUR));
        EXPECT_TRUE(matchesBytes(surface, expected))
            << "rect " << c.rect.left << "," << c.rect.top << "," << c.rect.right << ","
            << c.rect.bottom;
    }
    EXPECT_EQ(surface.lockCount, static_cast<int>(std::size(cases)));
    EXPECT_EQ(surface.unlockCount, surface.lockCount);
}

TEST_P(FillRectLayouts, FailedLockWritesNothingAndDoesNotUnlock) {
    surface.failLocks = true;
    const ExpectedBytes unchanged(surface);
    const Rect rect{10, 20, 30, 25};
    EXPECT_TRUE(fillRect(surface, &rect, COLOUR));
    EXPECT_TRUE(fillRect(surface, nullptr, COLOUR));
    EXPECT_TRUE(matchesBytes(surface, unchanged));
    EXPECT_EQ(surface.lockCount, 0);
    EXPECT_EQ(surface.unlockCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, FillRectLayouts,
                         ::testing::Values(Layout{24, 0}, Layout{32, 0}, Layout{24, WIDTH * 3 + 5},
                                           Layout{32, WIDTH * 4 + 12}));

TEST(FillRect, TopByteOfTheColourIsNeverStored) {
    TestSurface surface(3, 2, 32, 0, 0x5A);
    EXPECT_FALSE(fillRect(surface, nullptr, 0xEE112233u));
    for (std::int32_t y = 0; y < 2; ++y) {
        for (std::int32_t x = 0; x < 3; ++x) {
            const std::uint8_t* p = surface.bytes().data() + y * surface.pitch() + x * 4;
            EXPECT_EQ(p[0], 0x33);
            EXPECT_EQ(p[1], 0x22);
            EXPECT_EQ(p[2], 0x11);
            EXPECT_EQ(p[3], 0x5A);
        }
    }
}

}  // namespace
}  // namespace veltrane
