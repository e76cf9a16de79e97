// The caption's glyphs on Linux, the other SDL platforms and in the browser.
// Implements the TextRenderer seam with FreeType: a font file (on Linux the
// one fontconfig offers, see fontconfig_caption_font.h; in the browser the
// one the site ships), sized so its cells fit the 18-row band, glyphs
// rendered binary (FT_RENDER_MODE_MONO) from their outlines so the caption is
// pure green on pure black with no grey edges; embedded bitmaps are never
// used. The program and the headless exporter both use it, which is what
// makes their pixels the same. Each character's 1-bit image is rendered once,
// the first time it is drawn, and kept for the renderer's life, so a caption
// after the first costs bit copies rather than FreeType's outline rendering.
// Depends on FreeType alone; no SDL, no fontconfig.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "patterns/caption.h"

namespace veltrane {

class FreeTypeTextRenderer final : public TextRenderer {
public:
    // A given font file; null (with the reason) when it cannot be used.
    static std::unique_ptr<FreeTypeTextRenderer> createFromFile(const std::string& fontFile,
                                                                std::string& problem);
    ~FreeTypeTextRenderer() override;
    FreeTypeTextRenderer(const FreeTypeTextRenderer&) = delete;
    FreeTypeTextRenderer& operator=(const FreeTypeTextRenderer&) = delete;

    void measureCharWidths(CharWidths& widths) override;
    bool drawText(std::u16string_view text, CaptionBitmap& bitmap) override;

    const std::string& fontFile() const { return fontFile_; }
    int pixelSize() const { return pixelSize_; }
    // Rows from the top of the band to the baseline the glyphs stand on.
    int baseline() const { return baseline_; }

    // What the glyph cache holds: one entry per character code drawn so far
    // (never more than 256 plus the codes above 255 that were drawn), and
    // the bytes of their 1-bit images.
    std::size_t cachedGlyphCount() const;
    std::size_t cachedImageBytes() const;

private:
    struct FreeTypeState;
    struct CachedGlyph;
    struct GlyphCache;
    explicit FreeTypeTextRenderer(std::unique_ptr<FreeTypeState> state, std::string fontFile,
                                  int pixelSize, int baseline);
    std::int32_t advanceOf(char32_t code);
    CachedGlyph& glyphFor(char16_t code);
    CachedGlyph renderGlyph(char16_t code);

    std::unique_ptr<FreeTypeState> state_;
    std::unique_ptr<GlyphCache> glyphs_;
    std::string fontFile_;
    int pixelSize_;
    int baseline_;  // rows from the top of the band to the baseline
    // The font and its size never change, so the widths are measured once,
    // on the first page, and every later caption reuses them.
    CharWidths measuredWidths_{};
    bool widthsMeasured_ = false;
};

}  // namespace veltrane
