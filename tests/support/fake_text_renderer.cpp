#include "tests/support/fake_text_renderer.h"

#include <algorithm>

namespace veltrane {

std::int32_t FakeTextRenderer::widthOf(char16_t code) {
    return code < 128 ? static_cast<std::int32_t>(code % 5) + 6 : WIDE_CHARACTER_WIDTH;
}

void FakeTextRenderer::measureCharWidths(CharWidths& widths) {
    ++measureCount;
    for (std::size_t c = 0; c < widths.size(); ++c) widths[c] = widthOf(static_cast<char16_t>(c));
}

bool FakeTextRenderer::drawText(std::u16string_view text, CaptionBitmap& bitmap) {
    ++drawCount;
    if (failDrawing) return false;
    std::int32_t x = 0;
    for (const char16_t code : text) {
        const std::int32_t cell = widthOf(code);
        if (code != u' ') {
            for (std::int32_t y = 2; y <= 13; ++y) {
                std::uint32_t* row = bitmap.pictureRow(y);
                const std::int32_t end = std::min(x + cell - 1, bitmap.width);  // one black column between cells
                for (std::int32_t column = x; column < end; ++column) row[column] = CAPTION_GLYPH;
            }
        }
        x += cell;
    }
    return true;
}

}  // namespace veltrane
