// The caption's text renderer over GDI: widths of the codes 0..255 measured in
// the screen's default font (unsmoothed, and no taller than the band), and the
// text drawn with that same font, each character at the measured widths, in
// pure green on black into a 32-bit bottom-up device-independent bitmap 18
// rows high, whose rows are then handed to the core as they are stored.
//
// Depends on: user32 (GetDC, ReleaseDC), gdi32 (GetCharWidthA,
// CreateCompatibleDC, CreateDIBSection, SelectObject, SetTextColor,
// SetBkColor, ExtTextOutW, DeleteDC, DeleteObject).
#pragma once

#include "patterns/caption.h"

namespace veltrane::win32 {

class GdiTextRenderer final : public TextRenderer {
public:
    // Measured on the first call only: the program changes neither the
    // screen's default font nor the display mode's font settings during a
    // run, so GDI's answer stays the same and every later caption reuses it.
    void measureCharWidths(CharWidths& widths) override;
    bool drawText(std::u16string_view text, CaptionBitmap& bitmap) override;

private:
    CharWidths measuredWidths_{};
    bool widthsMeasured_ = false;
};

}  // namespace veltrane::win32
