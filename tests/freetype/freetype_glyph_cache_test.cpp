// The FreeType renderer keeps each character's 1-bit image after drawing it
// once. These tests hold it to the pixels of rendering every glyph anew with
// FreeType, as the renderer did before it kept anything, and to a cache that
// stops growing once every code in use has been drawn.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <string>
#include <vector>

#include "platform/freetype/freetype_text_renderer.h"
#if VELTRANE_HAVE_FONTCONFIG
#include "platform/freetype/fontconfig_caption_font.h"
#endif
#include "platform/freetype/mono_glyph_copy.h"

using namespace veltrane;

namespace {

// Draws text the long way: every glyph loaded and rendered by FreeType on each
// call, with the renderer's own font, size and baseline.
class UncachedGlyphs {
public:
    explicit UncachedGlyphs(const FreeTypeTextRenderer& renderer) : baseline_(renderer.baseline()) {
        ok_ = FT_Init_FreeType(&library_) == 0 &&
              FT_New_Face(library_, renderer.fontFile().c_str(), 0, &face_) == 0 &&
              FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(renderer.pixelSize())) == 0;
    }
    ~UncachedGlyphs() {
        if (face_ != nullptr) FT_Done_Face(face_);
        if (library_ != nullptr) FT_Done_FreeType(library_);
    }
    UncachedGlyphs(const UncachedGlyphs&) = delete;
    UncachedGlyphs& operator=(const UncachedGlyphs&) = delete;

    bool ok() const { return ok_; }

    void draw(std::u16string_view text, CaptionBitmap& bitmap) {
        std::int32_t penX = 0;
        for (const char16_t unit : text) {
            if (penX >= bitmap.width) break;
            if (FT_Load_Char(face_, unit, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) != 0) continue;
            const FT_GlyphSlot glyph = face_->glyph;
            if (glyph->format == FT_GLYPH_FORMAT_OUTLINE &&
                FT_Render_Glyph(glyph, FT_RENDER_MODE_MONO) == 0) {
                copyMonoGlyph(glyph->bitmap, penX + glyph->bitmap_left, baseline_ - glyph->bitmap_top,
                              bitmap);
            }
            penX += static_cast<std::int32_t>((glyph->advance.x + 32) / 64);
        }
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    int baseline_;
    bool ok_ = false;
};

// The fixture font and the font the browser edition ships always; the font
// the Linux program would find as well, when this machine has one.
std::vector<std::unique_ptr<FreeTypeTextRenderer>> renderersToCheck() {
    std::vector<std::unique_ptr<FreeTypeTextRenderer>> renderers;
    std::string problem;
    auto fixture = FreeTypeTextRenderer::createFromFile(VELTRANE_TEST_FIXTURES "/grey-strike.ttf", problem);
    EXPECT_NE(fixture, nullptr) << problem;
    if (fixture) renderers.push_back(std::move(fixture));
    auto shipped = FreeTypeTextRenderer::createFromFile(VELTRANE_WEB_FONT, problem);
    EXPECT_NE(shipped, nullptr) << problem;
    if (shipped) renderers.push_back(std::move(shipped));
#if VELTRANE_HAVE_FONTCONFIG
    if (auto found = captionTextFromFontconfig(problem)) renderers.push_back(std::move(found));
#endif
    return renderers;
}

std::u16string allCodesBelow256() {
    std::u16string text;
    for (char16_t code = 0; code < 256; ++code) text += code;
    return text;
}

// Rows of the upright picture with the raw pixel values, so a difference
// shows where it is.
void expectSamePixels(const CaptionBitmap& cached, const CaptionBitmap& uncached, const std::string& what) {
    ASSERT_EQ(cached.width, uncached.width) << what;
    for (std::int32_t y = 0; y < cached.height; ++y) {
        const std::vector<std::uint32_t> cachedRow(cached.pictureRow(y), cached.pictureRow(y) + cached.width);
        const std::vector<std::uint32_t> uncachedRow(uncached.pictureRow(y),
                                                     uncached.pictureRow(y) + uncached.width);
        ASSERT_EQ(cachedRow, uncachedRow) << what << ", row " << y;
    }
}

TEST(FreeTypeGlyphCache, EveryCodeBelow256DrawsWhatRenderingItAnewDraws) {
    for (const auto& renderer : renderersToCheck()) {
        UncachedGlyphs uncached(*renderer);
        ASSERT_TRUE(uncached.ok()) << renderer->fontFile();
        // The first pass renders each glyph into the cache, the second only
        // copies; within a pass the code's second copy comes from the cache too.
        for (int pass = 1; pass <= 2; ++pass) {
            for (char16_t code = 0; code < 256; ++code) {
                const std::u16string text{u'[', code, code, u']'};
                CaptionBitmap drawn(80);
                CaptionBitmap expected(80);
                ASSERT_TRUE(renderer->drawText(text, drawn));
                uncached.draw(text, expected);
                expectSamePixels(drawn, expected,
                                 renderer->fontFile() + ", code " + std::to_string(code) + ", pass " +
                                     std::to_string(pass));
            }
        }
    }
}

TEST(FreeTypeGlyphCache, LongCaptionsDrawWhatRenderingAnewDrawsAtEveryWidth) {
    // A composed caption, then every code, then codes above 255 (a character
    // the font may lack included); the narrow widths cut a glyph and stop
    // the pen inside the text.
    ColorCalibration calibration;
    calibration.red.gamma = 2.35;
    calibration.blue.brightness = 0.07;
    const std::u16string text = composeCaptionText(u"Grid, 16 x 16 blocks", calibration) + allCodesBelow256() +
                                u"\u20AC\u0416\u03A9\u2588\uFFFD\u4E2D\u20AC";
    for (const auto& renderer : renderersToCheck()) {
        UncachedGlyphs uncached(*renderer);
        ASSERT_TRUE(uncached.ok()) << renderer->fontFile();
        for (const std::int32_t width : {1, 7, 13, 101, 640, 6000}) {
            for (int pass = 1; pass <= 2; ++pass) {
                CaptionBitmap drawn(width);
                CaptionBitmap expected(width);
                ASSERT_TRUE(renderer->drawText(text, drawn));
                uncached.draw(text, expected);
                expectSamePixels(drawn, expected,
                                 renderer->fontFile() + ", width " + std::to_string(width) + ", pass " +
                                     std::to_string(pass));
            }
        }
    }
}

TEST(FreeTypeGlyphCache, HoldsOneImagePerCodeDrawnAndStopsGrowing) {
    for (const auto& renderer : renderersToCheck()) {
        const std::string font = renderer->fontFile();
        EXPECT_EQ(renderer->cachedGlyphCount(), 0u) << font;

        CaptionBitmap bitmap(8000);
        ASSERT_TRUE(renderer->drawText(allCodesBelow256(), bitmap));
        EXPECT_EQ(renderer->cachedGlyphCount(), 256u) << font;
        const std::size_t bytesForAllCodes = renderer->cachedImageBytes();
        EXPECT_GT(bytesForAllCodes, 0u) << font;

        // The same codes again, many times and in captions: nothing more is kept.
        for (int page = 0; page < 50; ++page) {
            CaptionBitmap again(8000);
            ASSERT_TRUE(renderer->drawText(allCodesBelow256(), again));
            ASSERT_TRUE(renderer->drawText(composeCaptionText(u"Steps", ColorCalibration{}), again));
        }
        EXPECT_EQ(renderer->cachedGlyphCount(), 256u) << font;
        EXPECT_EQ(renderer->cachedImageBytes(), bytesForAllCodes) << font;

        // Codes above 255 take one entry each, however often they come.
        const std::u16string others = u"\u20AC\u0416\u20AC\u0416\uFFFD\u20AC";
        for (int page = 0; page < 50; ++page) {
            CaptionBitmap again(8000);
            ASSERT_TRUE(renderer->drawText(others, again));
        }
        EXPECT_EQ(renderer->cachedGlyphCount(), 256u + 3u) << font;
    }
}

}  // namespace
