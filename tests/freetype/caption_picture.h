// A caption bitmap as text, so a test can state the picture it expects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "patterns/caption.h"

namespace veltrane::test {

// The upright picture as rows of '#' (glyph), '.' (background) and '?' (any
// other value).
inline std::vector<std::string> captionPicture(const CaptionBitmap& bitmap) {
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

}  // namespace veltrane::test
