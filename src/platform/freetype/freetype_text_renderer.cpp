#include "platform/freetype/freetype_text_renderer.h"

#include "platform/freetype/mono_glyph_copy.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
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

// One character as drawText needs it, taken from FreeType the first time the
// character is drawn. The image is FreeType's own 1-bit image, copied with its
// rows top first, so drawing it later puts down exactly the pixels that
// rendering it anew would.
struct FreeTypeTextRenderer::CachedGlyph {
    bool loaded = false;       // false: the font could not load it; it draws nothing and takes no room
    std::int32_t advance = 0;  // whole pixels
    bool rendered = false;     // made 1-bit from an outline; anything else is never drawn
    std::int32_t left = 0;     // columns from the pen to the image's left edge
    std::int32_t top = 0;      // rows from the baseline up to the image's top edge
    FT_Bitmap image{};         // FreeType's description of the image; its buffer is `bits`
    bool hasBuffer = false;    // FreeType gave the image a buffer (a space may come without)
    std::vector<unsigned char> bits;
};

// Codes 0..255 (every code a caption is composed of) sit in a table; anything
// else the text may hold goes to a map, so what is kept never exceeds the
// table plus the other codes drawn.
struct FreeTypeTextRenderer::GlyphCache {
    std::array<std::optional<CachedGlyph>, 256> latin1;
    std::unordered_map<char16_t, CachedGlyph> others;
    std::size_t count = 0;
    std::size_t imageBytes = 0;
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
    : state_(std::move(state)), glyphs_(std::make_unique<GlyphCache>()), fontFile_(std::move(fontFile)), pixelSize_(pixelSize),
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

FreeTypeTextRenderer::CachedGlyph FreeTypeTextRenderer::renderGlyph(char16_t code) {
    CachedGlyph cached;
    FT_Face face = state_->face;
    if (FT_Load_Char(face, code, GLYPH_LOAD_FLAGS) != 0) return cached;
    cached.loaded = true;
    const FT_GlyphSlot glyph = face->glyph;
    // Only an outline can be made 1-bit; a glyph that came as an image of
    // any other kind is left out rather than drawn as noise, and its
    // advance still counts, as the measured widths do.
    if (glyph->format == FT_GLYPH_FORMAT_OUTLINE && FT_Render_Glyph(glyph, FT_RENDER_MODE_MONO) == 0) {
        cached.rendered = true;
        cached.left = glyph->bitmap_left;
        cached.top = glyph->bitmap_top;
        const FT_Bitmap& source = glyph->bitmap;
        const std::size_t rowBytes = static_cast<std::size_t>(std::abs(source.pitch));
        cached.image = source;
        cached.image.buffer = nullptr;
        cached.image.palette = nullptr;
        cached.image.pitch = static_cast<int>(rowBytes);
        if (source.buffer != nullptr) {
            cached.hasBuffer = true;
            cached.bits.resize(rowBytes * source.rows);
            // With upward rows the buffer starts at the bottom row.
            const unsigned char* topRow =
                source.pitch >= 0 ? source.buffer
                                  : source.buffer + rowBytes * (source.rows > 0 ? source.rows - 1 : 0);
            const std::ptrdiff_t pitch = source.pitch;
            for (unsigned int row = 0; row < source.rows; ++row) {
                std::memcpy(cached.bits.data() + rowBytes * row,
                            topRow + pitch * static_cast<std::ptrdiff_t>(row), rowBytes);
            }
        }
    }
    cached.advance = static_cast<std::int32_t>((glyph->advance.x + 32) / 64);
    return cached;
}

FreeTypeTextRenderer::CachedGlyph& FreeTypeTextRenderer::glyphFor(char16_t code) {
    GlyphCache& cache = *glyphs_;
    CachedGlyph* found = nullptr;
    if (code < cache.latin1.size()) {
        std::optional<CachedGlyph>& slot = cache.latin1[code];
        if (slot) return *slot;
        found = &slot.emplace(renderGlyph(code));
    } else {
        if (const auto known = cache.others.find(code); known != cache.others.end()) return known->second;
        found = &cache.others.emplace(code, renderGlyph(code)).first->second;
    }
    ++cache.count;
    cache.imageBytes += found->bits.size();
    return *found;
}

std::size_t FreeTypeTextRenderer::cachedGlyphCount() const { return glyphs_->count; }

std::size_t FreeTypeTextRenderer::cachedImageBytes() const { return glyphs_->imageBytes; }

bool FreeTypeTextRenderer::drawText(std::u16string_view text, CaptionBitmap& bitmap) {
    std::int32_t penX = 0;
    for (const char16_t unit : text) {
        if (penX >= bitmap.width) break;
        CachedGlyph& glyph = glyphFor(unit);
        if (!glyph.loaded) continue;
        if (glyph.rendered) {
            FT_Bitmap image = glyph.image;
            image.buffer = glyph.hasBuffer ? glyph.bits.data() : nullptr;
            copyMonoGlyph(image, penX + glyph.left, baseline_ - glyph.top, bitmap);
        }
        penX += glyph.advance;
    }
    return true;
}

}  // namespace veltrane
