#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/freetype/freetype_text_renderer.h"

using namespace veltrane;

namespace {

// The upright picture as rows of '#' (glyph), '.' (background) and '?' (any
// other value).
std::vector<std::string> pictureOf(const CaptionBitmap& bitmap) {
    std::vector<std::string> rows;
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        std::string row;
        for (std::int32_t x = 0; x < bitmap.width; ++x) {
            const std::uint32_t pixel = bitmap.pictureRow(y)[x];
            row += pixel == CAPTION_GLYPH ? '#' : pixel == CAPTION_BACKGROUND ? '.' : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

// grey-strike.ttf (made by fixtures/make_grey_strike_font.py): 'R' is a
// rectangle as an outline and, at the caption's size, also an embedded 8-bit
// grey bitmap whose bytes would draw thin stripes if read as bits.
TEST(FreeTypeTextRenderer, DrawsGlyphsFromTheirOutlinesNotFromEmbeddedGreyBitmaps) {
    std::string problem;
    const auto renderer =
        FreeTypeTextRenderer::createFromFile(VELTRANE_TEST_FIXTURES "/grey-strike.ttf", problem);
    ASSERT_NE(renderer, nullptr) << problem;
    ASSERT_EQ(renderer->pixelSize(), 18);

    CaptionBitmap bitmap(26);
    ASSERT_TRUE(renderer->drawText(u"RR", bitmap));
    std::vector<std::string> expected(9, "..........................");
    expected.insert(expected.end(), 9, "..########....########....");
    EXPECT_EQ(pictureOf(bitmap), expected);

    CharWidths widths{};
    renderer->measureCharWidths(widths);
    EXPECT_EQ(widths['R'], 12);
}

}  // namespace
