// The fast row writers under the fills, the line patterns and the block
// pages: templates shorter than the row, odd widths and offsets, pitches
// wider than a row, one-pixel surfaces, and a large surface. Every case
// compares the whole surface memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "display/fill_rect.h"
#include "display/memory_surface.h"
#include "display/row_copy.h"
#include "patterns/gamma_check.h"
#include "patterns/line_patterns.h"
#include "patterns/render_page.h"
#include "tests/support/surface_expectations.h"

namespace veltrane {
namespace {

using test::ExpectedBytes;
using test::matchesBytes;

constexpr std::uint32_t COLOUR = 0x00FF8040;

struct FillCase {
    std::int32_t width;
    std::int32_t height;
    std::int32_t bitsPerPixel;
    std::int32_t pitch;  // 0 is the tightest
    Rect rect;
};

std::ostream& operator<<(std::ostream& os, const FillCase& c) {
    return os << c.width << "x" << c.height << " " << c.bitsPerPixel << "bpp pitch " << c.pitch
              << " rect " << c.rect.left << "," << c.rect.top << "," << c.rect.right << ","
              << c.rect.bottom;
}

class FastFills : public ::testing::TestWithParam<FillCase> {};

TEST_P(FastFills, WriteExactlyTheColourBytesOfTheRectangle) {
    const FillCase& c = GetParam();
    MemorySurface surface(c.width, c.height, c.bitsPerPixel, c.pitch);
    test::fillWithPositionPattern(surface);
    ExpectedBytes expected(surface);
    for (std::int32_t y = c.rect.top; y < c.rect.bottom; ++y) {
        for (std::int32_t x = c.rect.left; x < c.rect.right; ++x) expected.setColour(x, y, COLOUR);
    }
    EXPECT_FALSE(fillRect(surface, &c.rect, COLOUR));
    EXPECT_TRUE(matchesBytes(surface, expected));
}

// Long runs (the 32-bit ones an odd number of pixels, so a single pixel ends
// the pairs), odd lengths and left edges, odd pitches that put every row start
// at a different alignment, and single pixels.
INSTANTIATE_TEST_SUITE_P(
    RowWriters, FastFills,
    ::testing::Values(FillCase{2500, 3, 24, 0, {0, 0, 2500, 3}},
                      FillCase{2500, 3, 24, 7509, {1, 0, 2499, 3}},
                      FillCase{2500, 3, 24, 7511, {3, 1, 2052, 2}},
                      FillCase{2500, 3, 32, 10003, {1, 0, 2500, 3}},
                      FillCase{2500, 3, 32, 0, {0, 0, 2049, 3}},
                      FillCase{77, 5, 24, 235, {5, 1, 76, 5}},
                      FillCase{77, 5, 32, 311, {6, 0, 7, 5}},
                      FillCase{1, 1, 24, 0, {0, 0, 1, 1}},
                      FillCase{1, 1, 32, 0, {0, 0, 1, 1}},
                      FillCase{1, 1, 32, 9, {0, 0, 1, 1}}));

// Row-wise block pages and line patterns on wide surfaces, with pitches that leave bytes after each row and a screen size that is not
// the surface's own.
struct PageCase {
    std::int32_t width;
    std::int32_t height;
    std::int32_t bitsPerPixel;
    std::int32_t pitch;
    std::int32_t screenWidth;
    std::int32_t screenHeight;
};

std::ostream& operator<<(std::ostream& os, const PageCase& c) {
    return os << c.width << "x" << c.height << " " << c.bitsPerPixel << "bpp pitch " << c.pitch
              << " screen " << c.screenWidth << "x" << c.screenHeight;
}

// The block of `p` (0..15) across `size` pixels, straight from (size * j) / 16.
int blockOf(std::int32_t p, std::int32_t size) {
    for (int j = 0; j < 16; ++j) {
        if (p < static_cast<std::int64_t>(size) * (j + 1) / 16) return j;
    }
    return -1;
}

class RowWisePages : public ::testing::TestWithParam<PageCase> {};

TEST_P(RowWisePages, GridAndStepsCoverTheScreenPartOfTheSurfaceOnly) {
    const PageCase& c = GetParam();
    for (const int page : {8, 16}) {
        MemorySurface surface(c.width, c.height, c.bitsPerPixel, c.pitch);
        test::fillWithPositionPattern(surface);
        ExpectedBytes expected(surface);
        for (std::int32_t y = 0; y < std::min(c.height, c.screenHeight); ++y) {
            for (std::int32_t x = 0; x < std::min(c.width, c.screenWidth); ++x) {
                const int column = blockOf(x, c.screenWidth);
                const int k = page == 8 ? 16 * blockOf(y, c.screenHeight) + column : 240 + column;
                const auto level = static_cast<std::uint32_t>(k);
                expected.setColour(x, y, level << 16 | level << 8 | level);
            }
        }
        renderPage({surface, nullptr, c.screenWidth, c.screenHeight}, page, {});
        EXPECT_TRUE(matchesBytes(surface, expected)) << "page " << page;
    }
}

TEST_P(RowWisePages, LinePatternsOnWideAndOddSurfaces) {
    const PageCase& c = GetParam();
    struct Pattern {
        bool (*draw)(Surface&);
        bool (*white)(std::int32_t x, std::int32_t y);
    };
    const Pattern patterns[] = {
        {drawHorizontalLines, [](std::int32_t, std::int32_t y) { return y % 2 == 0; }},
        {drawVerticalLines, [](std::int32_t x, std::int32_t) { return x % 2 == 0; }},
        {drawNetDots, [](std::int32_t x, std::int32_t y) { return (x + y) % 2 == 0; }},
    };
    for (const Pattern& pattern : patterns) {
        MemorySurface surface(c.width, c.height, c.bitsPerPixel, c.pitch);
        test::fillWithPositionPattern(surface);
        ExpectedBytes expected(surface);
        for (std::int32_t y = 0; y < c.height; ++y) {
            for (std::int32_t x = 0; x < c.width; ++x) {
                expected.setColour(x, y, pattern.white(x, y) ? 0xFFFFFFu : 0x000000u);
            }
        }
        EXPECT_FALSE(pattern.draw(surface));
        EXPECT_TRUE(matchesBytes(surface, expected));
    }
}

INSTANTIATE_TEST_SUITE_P(RowWriters, RowWisePages,
                         ::testing::Values(PageCase{2051, 35, 24, 6161, 2051, 35},
                                           PageCase{2051, 35, 32, 8209, 2051, 35},
                                           PageCase{1366, 40, 24, 0, 1300, 33},
                                           PageCase{1366, 40, 32, 5470, 1300, 33},
                                           PageCase{300, 20, 24, 907, 400, 30},
                                           PageCase{1, 1, 24, 0, 1, 1},
                                           PageCase{1, 1, 32, 5, 1, 1}));

// A fill inset from every edge, the net dots and the green grid, each
// checked against every byte of the surface: the checks of the large
// surfaces below.
void expectFillDotsAndGridExact(MemorySurface& surface) {
    const std::int32_t width = surface.width();
    const std::int32_t height = surface.height();

    test::fillWithPositionPattern(surface);
    ExpectedBytes filled(surface);
    const Rect rect{7, 3, width - 2, height - 1};
    for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
        for (std::int32_t x = rect.left; x < rect.right; ++x) filled.setColour(x, y, COLOUR);
    }
    EXPECT_FALSE(fillRect(surface, &rect, COLOUR));
    EXPECT_TRUE(matchesBytes(surface, filled)) << "fill";

    test::fillWithPositionPattern(surface);
    ExpectedBytes dots(surface);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            dots.setColour(x, y, (x + y) % 2 == 0 ? 0xFFFFFFu : 0x000000u);
        }
    }
    EXPECT_FALSE(drawNetDots(surface));
    EXPECT_TRUE(matchesBytes(surface, dots)) << "net dots";

    test::fillWithPositionPattern(surface);
    ExpectedBytes grid(surface);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const auto k = static_cast<std::uint32_t>(16 * blockOf(y, height) + blockOf(x, width));
            grid.setColour(x, y, k << 8);
        }
    }
    renderPage({surface, nullptr, width, height}, 6, {});
    EXPECT_TRUE(matchesBytes(surface, grid)) << "green grid";
}

// A large surface, 2400 x 2400 at 24 bits with an odd pitch, so row starts
// fall on every alignment the vectorised copies can meet.
TEST(LargeSurfaces, FillsPagesAndPatternsAreExact) {
    constexpr std::int32_t SIDE = 2400;
    MemorySurface surface(SIDE, SIDE, 24, SIDE * 3 + 5);
    expectFillDotsAndGridExact(surface);
}

// Both kinds of store, at every alignment of the target within a 16-byte
// block and lengths around whole blocks and 64-byte lines: exactly the
// row's bytes change.
TEST(RowCopy, WritesExactlyTheRowAtAnyAlignment) {
    constexpr std::uint8_t UNTOUCHED = 0xEE;
    std::vector<std::uint8_t> source(200);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i * 7 + 1);
    for (const RowStores stores : {RowStores::Cached, RowStores::Streaming}) {
        for (std::size_t offset = 0; offset < 18; ++offset) {
            for (const std::size_t bytes :
                 {0, 1, 15, 16, 17, 31, 48, 63, 64, 65, 79, 80, 127, 128, 129, 190}) {
                std::vector<std::uint8_t> memory(offset + bytes + 64, UNTOUCHED);
                copyRow(memory.data() + offset, source.data(), bytes, stores);
                finishRowCopies(stores);
                for (std::size_t i = 0; i < memory.size(); ++i) {
                    const bool inRow = i >= offset && i < offset + bytes;
                    const std::uint8_t want = inRow ? source[i - offset] : UNTOUCHED;
                    ASSERT_EQ(memory[i], want)
                        << (stores == RowStores::Streaming ? "streaming" : "cached") << " offset "
                        << offset << " bytes " << bytes << " at " << i;
                }
            }
        }
    }
}

// A whole surface into another of the same size and depth but another pitch
// (and one past the streaming size): each row's
// pixel bytes arrive, and the target's padding past a row keeps its bytes.
TEST(RowCopy, PixelRowsGoIntoAnotherPitchAndLeaveItsPaddingAlone) {
    constexpr std::uint8_t UNTOUCHED = 0xEE;
    struct Case {
        std::int32_t width, height, bitsPerPixel, targetPitch;
    };
    const Case cases[] = {{37, 5, 32, 37 * 4 + 12}, {37, 5, 24, 37 * 3 + 1}, {1, 1, 24, 4},
                          {1000, static_cast<std::int32_t>(STREAMING_SURFACE_BYTES / 4004 + 1), 32, 4004}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.bitsPerPixel << " bits, pitch "
                                        << c.targetPitch);
        MemorySurface source(c.width, c.height, c.bitsPerPixel);
        for (std::size_t i = 0; i < source.bytes().size(); ++i) {
            source.bytes()[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        }
        MemorySurface target(c.width, c.height, c.bitsPerPixel, c.targetPitch, UNTOUCHED);
        LockedSurface from;
        LockedSurface to;
        ASSERT_TRUE(source.lock(from));
        ASSERT_TRUE(target.lock(to));
        copyPixelRows(to, from);
        const auto rowBytes = static_cast<std::size_t>(c.width * (c.bitsPerPixel / 8));
        const auto pitch = static_cast<std::size_t>(c.targetPitch);
        for (std::int32_t y = 0; y < c.height; ++y) {
            ASSERT_EQ(std::memcmp(to.row(y), from.row(y), rowBytes), 0) << "row " << y;
            for (std::size_t x = rowBytes; x < pitch; ++x) ASSERT_EQ(to.row(y)[x], UNTOUCHED) << "row " << y;
        }
    }
}

TEST(RowCopy, SurfacesOfSixtyFourMebibytesOrMoreAreStreamed) {
    const auto storesFor = [](std::int32_t pitch, std::int32_t height) {
        LockedSurface locked;
        locked.pitch = pitch;
        locked.height = height;
        return rowStoresFor(locked);
    };
    EXPECT_EQ(storesFor(1920 * 4, 1080), RowStores::Cached);
    EXPECT_EQ(storesFor(3840 * 4, 2160), RowStores::Cached);
    EXPECT_EQ(storesFor(1024, 65535), RowStores::Cached);
    EXPECT_EQ(storesFor(1024, 65536), RowStores::Streaming);
    EXPECT_EQ(storesFor(7680 * 3, 4320), RowStores::Streaming);
    // Computed in 64 bits: a product past 2^31 is not mistaken for a small one.
    EXPECT_EQ(storesFor(65536 * 4, 65536), RowStores::Streaming);
}

// A surface past the streaming size, with an odd pitch so row starts fall on
// every alignment: the fills, patterns, block pages and gamma check write
// through streaming stores exactly what the ordinary ones write.
TEST(StreamedSurfaces, FillsPagesPatternsAndGammaCheckAreExact) {
    constexpr std::int32_t WIDTH = 1000;
    constexpr std::int32_t PITCH = WIDTH * 3 + 5;
    constexpr auto HEIGHT = static_cast<std::int32_t>(STREAMING_SURFACE_BYTES / PITCH + 1);
    MemorySurface surface(WIDTH, HEIGHT, 24, PITCH);
    LockedSurface locked;
    ASSERT_TRUE(surface.lock(locked));
    surface.unlock();
    ASSERT_EQ(rowStoresFor(locked), RowStores::Streaming);

    expectFillDotsAndGridExact(surface);

    // The gamma check copies whole pitches: every row, its tail included,
    // must be the matching row of the same page on a two-row surface, which
    // is drawn with ordinary stores.
    ColorCalibration calibration;
    calibration.green.gamma = 1.3;
    MemorySurface twoRows(WIDTH, 2, 24, PITCH);
    EXPECT_FALSE(drawGammaCheck(twoRows, calibration));
    test::fillWithPositionPattern(surface);
    EXPECT_FALSE(drawGammaCheck(surface, calibration));
    const std::uint8_t* rows = surface.bytes().data();
    const std::uint8_t* model = twoRows.bytes().data();
    for (std::int32_t y = 0; y < HEIGHT; ++y) {
        ASSERT_EQ(std::memcmp(rows + static_cast<std::size_t>(y) * PITCH,
                              model + static_cast<std::size_t>(y % 2) * PITCH, PITCH),
                  0)
            << "gamma check row " << y;
    }
}

}  // namespace
}  // namespace veltrane
