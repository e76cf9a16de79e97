#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "display/memory_surface.h"
#include "patterns/page_catalogue.h"
#include "patterns/render_page.h"
#include "tests/support/fake_text_renderer.h"
#include "tests/support/surface_expectations.h"
#include "tests/support/test_surface.h"

namespace veltrane {
namespace {

using test::ExpectedBytes;
using test::matchesBytes;
using test::TestSurface;

std::vector<std::int32_t> edgesOf(std::int32_t size) {
    std::vector<std::int32_t> edges;
    for (int j = 0; j <= 16; ++j) edges.push_back(blockEdge(size, j));
    return edges;
}

TEST(BlockEdge, ColumnsOfA1366WideScreen) {
    const std::vector<std::int32_t> expected = {0,   85,  170, 256,  341,  426,  512,  597, 683,
                                                768, 853, 939, 1024, 1109, 1195, 1280, 1366};
    EXPECT_EQ(edgesOf(1366), expected);
}

TEST(BlockEdge, RowsOfA1050HighScreen) {
    const std::vector<std::int32_t> expected = {0,   65,  131, 196, 262, 328, 393, 459, 525,
                                                590, 656, 721, 787, 853, 918, 984, 1050};
    EXPECT_EQ(edgesOf(1050), expected);
}

TEST(BlockEdge, A1024ScreenGivesSixteenBlocksOf64) {
    std::vector<std::int32_t> expected;
    for (int j = 0; j <= 16; ++j) expected.push_back(64 * j);
    EXPECT_EQ(edgesOf(1024), expected);
}

TEST(BlockEdge, LargeSizesDoNotOverflow) {
    EXPECT_EQ(blockEdge(2147483647, 16), 2147483647);
    EXPECT_EQ(blockEdge(2147483647, 8), 1073741823);
}

// The block (0..15) that pixel `p` falls into across `size` pixels, from the
// edge rule (size * j) / 16 applied directly.
int blockOf(std::int32_t p, std::int32_t size) {
    for (int j = 0; j < 16; ++j) {
        const auto right = static_cast<std::int32_t>(static_cast<std::int64_t>(size) * (j + 1) / 16);
        if (p < right) return j;
    }
    return -1;
}

std::uint32_t rgb(int r, int g, int b) {
    return static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}

// Draws a page without caption and checks every byte of the surface against
// the colour `levelColour(k)` of the block each pixel belongs to.
template <typename ColourOfBlock>
void expectBlocks(std::int32_t width, std::int32_t height, std::int32_t bpp, int page,
                  const ColorCalibration& calibration, ColourOfBlock colourOf) {
    TestSurface surface(width, height, bpp, 0);
    test::fillWithPositionPattern(surface);
    ExpectedBytes expected(surface);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            expected.setColour(x, y, colourOf(blockOf(y, height), blockOf(x, width)));
        }
    }
    EXPECT_FALSE(renderPage({surface, nullptr, width, height}, page, calibration));
    EXPECT_TRUE(matchesBytes(surface, expected)) << "page " << page << " at " << width << "x"
                                                 << height << " " << bpp << "bpp";
}

TEST(RenderPage, SolidPagesWithNeutralParameters) {
    const std::uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFFFFFF};
    for (int page = 0; page < 5; ++page) {
        expectBlocks(37, 21, 32, page, {}, [&](int, int) { return colours[page]; });
        expectBlocks(37, 21, 24, page, {}, [&](int, int) { return colours[page]; });
    }
}

TEST(RenderPage, GridPagesCarryTheLevelsInRowMajorOrder) {
    // Page 5: red 16 * row + column; page 8: the same level in all three channels.
    struct GridCase {
        int page;
        std::uint32_t (*colour)(int k);
    };
    const GridCase cases[] = {
        {5, [](int k) { return rgb(k, 0, 0); }},
        {6, [](int k) { return rgb(0, k, 0); }},
        {7, [](int k) { return rgb(0, 0, k); }},
        {8, [](int k) { return rgb(k, k, k); }},
    };
    for (const GridCase& c : cases) {
        // 32x32 is two pixels per block; 37x21 gives blocks of unequal sizes.
        for (const auto& [w, h] : {std::pair{32, 32}, std::pair{37, 21}, std::pair{53, 16}}) {
            expectBlocks(w, h, 32, c.page, {}, [&](int i, int j) { return c.colour(16 * i + j); });
        }
        expectBlocks(37, 21, 24, c.page, {}, [&](int i, int j) { return c.colour(16 * i + j); });
    }
}

TEST(RenderPage, StepsPagesCarryBasePlusColumnOverTheFullHeight) {
    struct StepsCase {
        int page;
        int base;
        std::uint32_t (*colour)(int k);
    };
    const StepsCase cases[] = {
        {9, 0, [](int k) { return rgb(k, 0, 0); }},
        {10, 0, [](int k) { return rgb(0, k, 0); }},
        {11, 0, [](int k) { return rgb(0, 0, k); }},
        {12, 0, [](int k) { return rgb(k, k, k); }},
        {13, 240, [](int k) { return rgb(k, 0, 0); }},
        {14, 240, [](int k) { return rgb(0, k, 0); }},
        {15, 240, [](int k) { return rgb(0, 0, k); }},
        {16, 240, [](int k) { return rgb(k, k, k); }},
    };
    for (const StepsCase& c : cases) {
        for (const std::int32_t bpp : {24, 32}) {
            expectBlocks(37, 9, bpp, c.page, {}, [&](int, int j) { return c.colour(c.base + j); });
        }
    }
}

TEST(RenderPage, RedGammaTwoOnTheGreyGrid) {
    ColorCalibration calibration;
    calibration.red.gamma = 2.0;
    TestSurface surface(32, 32, 32);
    renderPage({surface, nullptr, 32, 32}, 8, calibration);
    // k = 128 is row 8, column 0: (128/255)^2 * 255 = 64.25.
    EXPECT_EQ(surface.pixel(0, 16), rgb(64, 128, 128));
    EXPECT_EQ(surface.pixel(1, 17), rgb(64, 128, 128));
    EXPECT_EQ(surface.pixel(31, 31), rgb(255, 255, 255));
    EXPECT_EQ(surface.pixel(0, 0), rgb(0, 0, 0));
}

TEST(RenderPage, ChannelsHeldAtZeroAreCorrectedToo) {
    ColorCalibration calibration;
    calibration.red.brightness = 1.5;
    expectBlocks(37, 21, 32, 1, calibration, [](int, int) { return rgb(127, 255, 0); });
    // The raised red shows in every block of the green grid.
    expectBlocks(37, 21, 32, 6, calibration, [](int i, int j) { return rgb(127, 16 * i + j, 0); });
}

TEST(RenderPage, OutOfRangePagesDrawNothingNotEvenTheCaption) {
    for (const int page : {-1, PAGE_COUNT, 1000, -2147483647 - 1}) {
        TestSurface surface(40, 20, 32);
        test::fillWithPositionPattern(surface);
        const ExpectedBytes unchanged(surface);
        FakeTextRenderer text;
        EXPECT_FALSE(renderPage({surface, &text, 40, 20}, page, {}));
        EXPECT_TRUE(matchesBytes(surface, unchanged)) << "page " << page;
        EXPECT_EQ(surface.lockCount, 0);
        EXPECT_EQ(text.measureCount, 0);
        EXPECT_EQ(text.drawCount, 0);
    }
}

TEST(RenderPage, EveryPageIsOneLockCycleAndTheCaptionOneMore) {
    for (int page = 0; page < PAGE_COUNT; ++page) {
        TestSurface surface(400, 40, 32);
        FakeTextRenderer text;
        EXPECT_FALSE(renderPage({surface, &text, 400, 40}, page, {}));
        EXPECT_EQ(surface.lockCount, 2) << "page " << page;
        EXPECT_EQ(surface.unlockCount, 2) << "page " << page;
        EXPECT_EQ(text.drawCount, 1) << "page " << page;
    }
}

TEST(RenderPage, FailedLocksStillReachTheCaption) {
    for (int page = 0; page < PAGE_COUNT; ++page) {
        TestSurface surface(64, 32, 32);
        test::fillWithPositionPattern(surface);
        const ExpectedBytes unchanged(surface);
        surface.failLocks = true;
        FakeTextRenderer text;
        EXPECT_FALSE(renderPage({surface, &text, 64, 32}, page, {}));
        EXPECT_TRUE(matchesBytes(surface, unchanged)) << "page " << page;
        EXPECT_EQ(surface.unlockCount, 0);
        EXPECT_EQ(text.drawCount, 1) << "page " << page;
    }
}

TEST(RenderPage, CaptionLiesOnTopOfThePage) {
    TestSurface surface(1000, 30, 32);
    FakeTextRenderer text;
    renderPage({surface, &text, 1000, 30}, 4, {});
    EXPECT_EQ(surface.pixel(0, 0), 0x000000u);    // band background over white
    EXPECT_EQ(surface.pixel(0, 5), 0x00FF00u);    // a glyph of the "W"
    EXPECT_EQ(surface.pixel(0, 18), 0xFFFFFFu);   // below the band the page shows
    EXPECT_EQ(surface.pixel(999, 0), 0xFFFFFFu);  // right of the band too
}

// Two surfaces that start with different contents must end with the same
// colour bytes everywhere: any pixel a page leaves unwritten would differ.
TEST(RenderPage, EveryPageWritesEveryPixel) {
    for (const std::int32_t bpp : {24, 32}) {
        for (const auto& [w, h] : {std::pair{37, 23}, std::pair{64, 32}, std::pair{5, 3}}) {
            for (int page = 0; page < PAGE_COUNT; ++page) {
                FakeTextRenderer text;
                TestSurface zeros(w, h, bpp, 0, 0x00);
                TestSurface ones(w, h, bpp, 0, 0xFF);
                renderPage({zeros, &text, w, h}, page, {});
                renderPage({ones, &text, w, h}, page, {});
                int differing = 0;
                for (std::int32_t y = 0; y < h; ++y) {
                    for (std::int32_t x = 0; x < w; ++x) {
                        if (zeros.pixel(x, y) != ones.pixel(x, y)) ++differing;
                    }
                }
                EXPECT_EQ(differing, 0) << "page " << page << " at " << w << "x" << h << " "
                                        << bpp << "bpp";
            }
        }
    }
}

TEST(PageCatalogue, TitlesInPageOrder) {
    const std::u16string_view titles[PAGE_COUNT] = {
        u"Red", u"Green", u"Blue", u"Black", u"White", u"Red (0-255)", u"Green (0-255)",
        u"Blue (0-255)", u"Gray scale (0-255)", u"Red (0-15)", u"Green (0-15)", u"Blue (0-15)",
        u"Gray scale (0-15)", u"Red (240-255)", u"Green (240-255)", u"Blue (240-255)",
        u"Gray scale (240-255)", u"Horizontal Lines", u"Vertical Lines", u"Net Dots",
        u"Gamma Check (Same color = correct gamma)"};
    for (int page = 0; page < PAGE_COUNT; ++page) {
        EXPECT_TRUE(PAGE_CATALOGUE[static_cast<std::size_t>(page)].title == titles[page])
            << "page " << page;
    }
}

TEST(PageCatalogue, EachPageCaptionNamesItsTitle) {
    // The caption's width is the sum of the title's and the values' widths, so a
    // wrong title shows as a band of the wrong width. The gamma check copies whole
    // rows and so sets the fourth bytes itself: it is left out here.
    for (int page = 0; page < PAGE_COUNT; ++page) {
        if (PAGE_CATALOGUE[static_cast<std::size_t>(page)].kind == PageKind::GammaCheck) continue;
        TestSurface surface(1000, 20, 32, 0, 0xAA);
        FakeTextRenderer text;
        renderPage({surface, &text, 1000, 20}, page, {});
        const std::u16string caption =
            composeCaptionText(PAGE_CATALOGUE[static_cast<std::size_t>(page)].title, {});
        CharWidths widths{};
        text.measureCharWidths(widths);
        const std::int32_t band = captionWidth(caption, widths);
        ASSERT_LT(band, 1000);
        // The band's fourth bytes are the bitmap's zero byte; right of it the page's.
        const std::uint8_t* row0 = surface.bytes().data();
        EXPECT_EQ(row0[(band - 1) * 4 + 3], 0) << "page " << page;
        EXPECT_EQ(row0[band * 4 + 3], 0xAA) << "page " << page;
    }
}

}  // namespace
}  // namespace veltrane
