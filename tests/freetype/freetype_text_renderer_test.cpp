#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/freetype/freetype_text_renderer.h"
#include "tests/freetype/caption_picture.h"

using namespace veltrane;

namespace {

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
    EXPECT_EQ(test::captionPicture(bitmap), expected);

    CharWidths widths{};
    renderer->measureCharWidths(widths);
    EXPECT_EQ(widths['R'], 12);
}

}  // namespace
