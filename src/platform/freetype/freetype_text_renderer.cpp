#include "platform/freetype/freetype_text_renderer.h"

#include "platform/freetype/mono_glyph_copy.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <utility>
#include <vector>

namespace veltrane {

struct FreeTypeTextRenderer::FreeTypeState {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~FreeTypeState() {
        if (face != nullptr) FT_Done_Face(face);
        if (library != nullptr) FT_Done_FreeType(library);
    }
};

namespace {

// Hinted for binary output, so advances are whole pixels and the glyphs are
// the same on every run with the same font. Always from the outlines: a font's
// embedded bitmaps are often grey (or colour), which a 1-bit caption cannot
// show, and measuring and drawing must use the same glyphs.
constexpr FT_Int32 GLYPH_LOAD_FLAGS = FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP;
constexpr int LARGEST_PIXEL_SIZE = CAPTION_HEIGHT;
constexpr int SMALLEST_PIXEL_SIZE = 6;

int ceilPixels(FT_Pos value26dot6) { return static_cast<int>((value26dot6 + 63) / 64); }

// The largest pixel size whose cell (ascender plus descender) fits the band.
int fitPixelSize(FT_Face face, int& baseline) {
    for (int size = LARGEST_PIXEL_SIZE; size >= SMALLEST_PIXEL_SIZE; --size) {
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) continue;
        const int ascender = ceilPixels(face->size->metrics.ascender);
        const int descender = ceilPixels(-face->size->metrics.descender);
        if (ascender > 0 && ascender + descender <= CAPTION_HEIGHT) {
            baseline = ascender;
            return size;
        }
    }
    return 0;
}

}  // namespace

FreeTypeTextRenderer::FreeTypeTextRenderer(std::unique_ptr<FreeTypeState> state,
                                           std::string fontFile, int pixelSize, int baseline)
    : state_(std::move(state)), fontFile_(std::move(fontFile)), pixelSize_(pixelSize),
      baseline_(baseline) {}

FreeTypeTextRenderer::~FreeTypeTextRenderer() = default;

std::unique_ptr<FreeTypeTextRenderer> FreeTypeTextRenderer::createFromFile(
    const std::string& fontFile, std::string& problem) {
    auto state = std::make_unique<FreeTypeState>();
    if (FT_Init_FreeType(&state->library) != 0) {
        problem = "FreeType could not be initialised";
        return nullptr;
    }
    if (FT_New_Face(state->library, fontFile.c_str(), 0, &state->face) != 0) {
        problem = "cannot load the font " + fontFile;
        return nullptr;
    }
    if (!FT_IS_SCALABLE(state->face) || FT_Get_Char_Index(state->face, 'R') == 0) {
        problem = "the font " + fontFile + " is not a scalable font with Latin letters";
        return nullptr;
    }
    int baseline = 0;
    const int size = fitPixelSize(state->face, baseline);
    if (size == 0) {
        problem = "the font " + fontFile + " has no size that fits the caption band";
        return nullptr;
    }
    return std::unique_ptr<FreeTypeTextRenderer>(
        new FreeTypeTextRenderer(std::move(state), fontFile, size, baseline));
}

std::unique_ptr<FreeTypeTextRenderer> FreeTypeTextRenderer::createFromFontconfig(
    std::string& problem) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) {
        problem = "fontconfig could not be initialised";
        return nullptr;
    }
    std::vector<std::string> candidates;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("monospace"));
    if (pattern != nullptr) {
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        // Sorted best first; the fallbacks matter when the best file is broken.
        if (FcFontSet* fonts = FcFontSort(config, pattern, FcTrue, nullptr, &result)) {
            for (int i = 0; i < fonts->nfont; ++i) {
                FcChar8* file = nullptr;
                if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) == FcResultMatch) {
                    candidates.emplace_back(reinterpret_cast<const char*>(file));
                }
            }
            FcFontSetDestroy(fonts);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);

    problem = "fontconfig knows no fonts";
    for (const std::string& file : candidates) {
        if (auto renderer = createFromFile(file, problem)) return renderer;
    }
    return nullptr;
}

std::int32_t FreeTypeTextRenderer::advanceOf(char32_t code) {
    if (FT_Load_Char(state_->face, code, GLYPH_LOAD_FLAGS) != 0) return 0;
    return static_cast<std::int32_t>((state_->face->glyph->advance.x + 32) / 64);
}

void FreeTypeTextRenderer::measureCharWidths(CharWidths& widths) {
    // Loading 256 glyphs costs far more than drawing a whole page, and the
    // answer cannot change during a run.
    if (!widthsMeasured_) {
        // Codes 0..255 are read as Latin-1, which is Unicode's first 256 code points.
        for (std::size_t code = 0; code < measuredWidths_.size(); ++code) {
            measuredWidths_[code] = advanceOf(static_cast<char32_t>(code));
        }
        widthsMeasured_ = true;
    }
    widths = measuredWidths_;
}

bool FreeTypeTextRenderer::drawText(std::u16string_view text, CaptionBitmap& bitmap) {
    FT_Face face = state_->face;
    std::int32_t penX = 0;
    for (const char16_t unit : text) {
        if (penX >= bitmap.width) break;
        if (FT_Load_Char(face, unit, GLYPH_LOAD_FLAGS) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        // Only an outline can be made 1-bit; a glyph that came as an image of
        // any other kind is left out rather than drawn as noise, and its
        // advance still counts, as the measured widths do.
        if (glyph->format == FT_GLYPH_FORMAT_OUTLINE && FT_Render_Glyph(glyph, FT_RENDER_MODE_MONO) == 0) {
            copyMonoGlyph(glyph->bitmap, penX + glyph->bitmap_left, baseline_ - glyph->bitmap_top, bitmap);
        }
        penX += static_cast<std::int32_t>((glyph->advance.x + 32) / 64);
    }
    return true;
}

}  // namespace veltrane
