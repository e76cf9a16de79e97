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
    void measureCharWidths(CharWidths& widths) override;
    bool drawText(std::u16string_view text, CaptionBitmap& bitmap) override;
};

}  // namespace veltrane::win32
