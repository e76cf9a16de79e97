// A deterministic stand-in for the platform's text drawing: every character
// code c below 128 is (c % 5) + 6 pixels wide and drawn as a solid block over
// rows 2..13 of its cell, except spaces, which stay black. Enough to check the
// width rule, the band layout and the copy without any font.
#pragma once

#include "patterns/caption.h"

namespace veltrane {

class FakeTextRenderer final : public TextRenderer {
public:
    static std::int32_t widthOf(char16_t code);

    void measureCharWidths(CharWidths& widths) override;
    bool drawText(std::u16string_view text, CaptionBitmap& bitmap) override;

    bool failDrawing = false;
    int measureCount = 0;
    int drawCount = 0;
};

}  // namespace veltrane
