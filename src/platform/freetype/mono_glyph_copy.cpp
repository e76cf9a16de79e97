#include "platform/freetype/mono_glyph_copy.h"

#include <cstddef>
#include <cstdlib>

namespace veltrane {

bool copyMonoGlyph(const FT_Bitmap& image, std::int32_t left, std::int32_t top, CaptionBitmap& bitmap) {
    if (image.pixel_mode != FT_PIXEL_MODE_MONO) return false;
    const auto rows = static_cast<std::int32_t>(image.rows);
    const auto width = static_cast<std::int32_t>(image.width);
    if (rows <= 0 || width <= 0) return true;  // a space: nothing to draw
    const std::ptrdiff_t pitch = image.pitch;
    if (image.buffer == nullptr || std::abs(pitch) < (width + 7) / 8) return false;

    // With upward rows the buffer starts at the bottom row.
    const unsigned char* topRow = pitch >= 0 ? image.buffer : image.buffer + -pitch * (rows - 1);
    for (std::int32_t row = 0; row < rows; ++row) {
        const std::int32_t y = top + row;
        if (y < 0 || y >= bitmap.height) continue;
        const unsigned char* bits = topRow + pitch * row;
        std::uint32_t* target = bitmap.pictureRow(y);
        for (std::int32_t column = 0; column < width; ++column) {
            const std::int32_t x = left + column;
            if (x < 0 || x >= bitmap.width) continue;
            if ((bits[column >> 3] & (0x80 >> (column & 7))) != 0) target[x] = CAPTION_GLYPH;
        }
    }
    return true;
}

}  // namespace veltrane
