// The caption: the page title and the nine parameters, pure green on black in
// an 18-row band at the top-left corner, drawn last so it lies over the page.
// Composition, the width rule and the band copy live here; the glyphs come
// from a platform text renderer (GDI, FreeType, or a fake in tests).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/color_calibration.h"
#include "display/surface.h"

namespace veltrane {

inline constexpr std::int32_t CAPTION_HEIGHT = 18;
inline constexpr std::size_t CAPTION_MAX_LENGTH = 255;  // UTF-16 units, terminator excluded
inline constexpr std::int32_t WIDE_CHARACTER_WIDTH = 16;  // codes 128 and above
inline constexpr std::uint32_t CAPTION_GLYPH = 0x00FF00;  // 0x00RRGGBB
inline constexpr std::uint32_t CAPTION_BACKGROUND = 0x000000;

using CharWidths = std::array<std::int32_t, 256>;

// A 32-bit bitmap laid out as a bottom-up device-independent bitmap: stored row
// 0 is the picture's bottom row, pixels are 0x00RRGGBB, rows width * 4 apart.
struct CaptionBitmap {
    std::int32_t width = 0;
    std::int32_t height = CAPTION_HEIGHT;
    std::vector<std::uint32_t> pixels;  // width * height, all black to start

    explicit CaptionBitmap(std::int32_t bitmapWidth);
    std::uint32_t* storedRow(std::int32_t i) { return pixels.data() + static_cast<std::size_t>(i) * width; }
    const std::uint32_t* storedRow(std::int32_t i) const { return pixels.data() + static_cast<std::size_t>(i) * width; }
    // Row y of the upright picture, 0 at the top.
    std::uint32_t* pictureRow(std::int32_t y) { return storedRow(height - 1 - y); }
    const std::uint32_t* pictureRow(std::int32_t y) const { return storedRow(height - 1 - y); }
};

class TextRenderer {
public:
    virtual ~TextRenderer() = default;
    // Widths in pixels of the character codes 0..255 in the caption font.
    virtual void measureCharWidths(CharWidths& widths) = 0;
    // Draws the text with its top-left corner at the bitmap's top-left: glyph
    // pixels CAPTION_GLYPH, everything else CAPTION_BACKGROUND. False when the
    // text could not be drawn.
    virtual bool drawText(std::u16string_view text, CaptionBitmap& bitmap) = 0;
};

// "Red: R:1.00,1.00,1.00, G:1.00,1.00,1.00, B:1.00,1.00,1.00", cut to
// CAPTION_MAX_LENGTH units.
std::u16string composeCaptionText(std::u16string_view title, const ColorCalibration& calibration);

// The band's width: each code below 128 adds its measured width, any other 16.
std::int32_t captionWidth(std::u16string_view text, const CharWidths& widths);

// Copies the band into rows 0..17 upright, clipped to the surface on the right
// and at the bottom. At 32 bits per pixel each pixel's four bytes are copied;
// at 24 bits its three colour bytes.
void copyCaptionBand(const LockedSurface& surface, const CaptionBitmap& bitmap);

// Composes, renders and copies the caption with one lock of the back buffer.
// Always returns false, as the page renderer passes it on and nobody reads it.
bool drawCaption(Surface& backBuffer, TextRenderer& text, std::u16string_view title,
                 const ColorCalibration& calibration);

}  // namespace veltrane
