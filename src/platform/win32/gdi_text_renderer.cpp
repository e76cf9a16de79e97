// GDI text for the caption. Every call takes the screen's context and gives it
// back; the memory context and the bitmap live only inside drawText.
#include "platform/win32/gdi_text_renderer.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace veltrane::win32 {
namespace {

// The screen's default font, drawn without smoothing: the band must hold only
// pure green and black, and a smoothed glyph edge would be a darker green.
// Should the default font be taller than the band, it is asked for at the
// band's height instead. The same font measures and draws.
class CaptionFont {
public:
    explicit CaptionFont(HDC screen) {
        LOGFONTA description{};
        const HGDIOBJ defaultFont = GetCurrentObject(screen, OBJ_FONT);
        if (defaultFont == nullptr || GetObjectA(defaultFont, sizeof description, &description) == 0) {
            return;
        }
        TEXTMETRICA metrics{};
        if (GetTextMetricsA(screen, &metrics) != 0 && metrics.tmHeight > CAPTION_HEIGHT) {
            description.lfHeight = CAPTION_HEIGHT;
            description.lfWidth = 0;
        }
        description.lfQuality = NONANTIALIASED_QUALITY;
        font_ = CreateFontIndirectA(&description);
    }
    ~CaptionFont() {
        if (font_ != nullptr) DeleteObject(font_);
    }
    CaptionFont(const CaptionFont&) = delete;
    CaptionFont& operator=(const CaptionFont&) = delete;

    // Selects the font into `context` and returns what it replaced (null when
    // there is no font of our own and the context keeps its default).
    HGDIOBJ selectInto(HDC context) const {
        return font_ != nullptr ? SelectObject(context, font_) : nullptr;
    }

private:
    HFONT font_ = nullptr;
};

void measureWith(HDC context, CharWidths& widths) {
    INT measured[256] = {};
    GetCharWidthA(context, 0, 255, measured);
    for (std::size_t code = 0; code < widths.size(); ++code) widths[code] = measured[code];
}

// Where each character's successor starts: the widths the band's width was
// added up from. Left to itself GDI may place glyphs by finer advances than
// the whole pixels it reports (Wine does, and drifts by a pixel or two over a
// long caption), so the text would no longer end where the band does.
std::vector<INT> characterAdvances(const CharWidths& widths, std::u16string_view text) {
    std::vector<INT> advances;
    advances.reserve(text.size());
    for (const char16_t unit : text) advances.push_back(unit < 128 ? widths[unit] : WIDE_CHARACTER_WIDTH);
    return advances;
}

}  // namespace

void GdiTextRenderer::measureCharWidths(CharWidths& widths) {
    if (widthsMeasured_) {
        widths = measuredWidths_;
        return;
    }
    const HDC screen = GetDC(nullptr);
    {
        const CaptionFont font(screen);
        const HGDIOBJ previous = font.selectInto(screen);
        measureWith(screen, measuredWidths_);
        if (previous != nullptr) SelectObject(screen, previous);
    }
    ReleaseDC(nullptr, screen);
    widthsMeasured_ = true;
    widths = measuredWidths_;
}

bool GdiTextRenderer::drawText(std::u16string_view text, CaptionBitmap& bitmap) {
    if (bitmap.width <= 0) return false;

    BITMAPINFO bmpInfo{};
    bmpInfo.bmiHeader.biSize = sizeof bmpInfo.bmiHeader;
    bmpInfo.bmiHeader.biWidth = bitmap.width;
    bmpInfo.bmiHeader.biHeight = bitmap.height;  // positive: stored bottom row first, like CaptionBitmap
    bmpInfo.bmiHeader.biPlanes = 1;
    bmpInfo.bmiHeader.biBitCount = 32;
    bmpInfo.bmiHeader.biCompression = BI_RGB;
    bmpInfo.bmiHeader.biSizeImage = 0;
    bmpInfo.bmiHeader.biXPelsPerMeter = 72;
    bmpInfo.bmiHeader.biYPelsPerMeter = 72;

    const HDC screen = GetDC(nullptr);
    const CaptionFont font(screen);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP dib = CreateDIBSection(memory, &bmpInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool drawn = false;
    if (memory != nullptr && dib != nullptr && bits != nullptr) {
        SelectObject(memory, dib);
        font.selectInto(memory);
        SetTextColor(memory, RGB(0, 255, 0));
        SetBkColor(memory, RGB(0, 0, 0));
        // The background mode stays opaque, so the character cells are black.
        const std::wstring wide(text.begin(), text.end());
        CharWidths widths{};
        measureCharWidths(widths);  // measured once per run: the font does not change
        const std::vector<INT> advances = characterAdvances(widths, text);
        ExtTextOutW(memory, 0, 0, 0, nullptr, wide.c_str(), static_cast<UINT>(wide.size()), advances.data());
        GdiFlush();
        // The section's rows are 4-byte pixels with no padding, bottom row
        // first: exactly the caption bitmap's layout.
        std::memcpy(bitmap.pixels.data(), bits, bitmap.pixels.size() * sizeof(std::uint32_t));
        drawn = true;
    }
    // Deleting the memory context lets go of the font and the bitmap selected
    // into it, so both can then be deleted.
    if (memory != nullptr) DeleteDC(memory);
    if (dib != nullptr) DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return drawn;
}

}  // namespace veltrane::win32
