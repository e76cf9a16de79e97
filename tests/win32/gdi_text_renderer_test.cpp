// The GDI caption renderer for real: the bitmap it hands the core is the
// caption band, 18 rows, bottom row stored first, only pure green glyph pixels
// on black, as wide as the width rule says and holding the whole text.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "calibration/color_calibration.h"
#include "display/memory_surface.h"
#include "platform/win32/gdi_text_renderer.h"

namespace veltrane::win32 {
namespace {

const std::u16string_view FIRST_TITLE = u"Red";
const std::u16string_view LONGEST_TITLE = u"Gamma Check (Same color = correct gamma)";

struct RenderedCaption {
    std::int32_t width;
    CaptionBitmap bitmap;
};

RenderedCaption render(GdiTextRenderer& gdi, std::u16string_view text, std::int32_t extraColumns = 0) {
    CharWidths widths{};
    gdi.measureCharWidths(widths);
    const std::int32_t width = captionWidth(text, widths);
    CaptionBitmap bitmap(width + extraColumns);
    EXPECT_TRUE(gdi.drawText(text, bitmap));
    return {width, bitmap};
}

// The columns holding at least one glyph pixel: first and one past the last.
std::pair<std::int32_t, std::int32_t> glyphColumns(const CaptionBitmap& bitmap) {
    std::int32_t first = bitmap.width;
    std::int32_t end = 0;
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        for (std::int32_t x = 0; x < bitmap.width; ++x) {
            if (bitmap.pictureRow(y)[x] != CAPTION_BACKGROUND) {
                first = std::min(first, x);
                end = std::max(end, x + 1);
            }
        }
    }
    return {first, end};
}

TEST(GdiTextRenderer, CaptionIsPureGreenOnBlackEighteenRowsHigh) {
    GdiTextRenderer gdi;
    for (const std::u16string_view title : {FIRST_TITLE, LONGEST_TITLE}) {
        const std::u16string text = composeCaptionText(title, ColorCalibration{});
        const RenderedCaption caption = render(gdi, text);
        ASSERT_GT(caption.width, 0);
        EXPECT_EQ(caption.bitmap.height, 18);
        int glyphPixels = 0;
        for (const std::uint32_t pixel : caption.bitmap.pixels) {
            ASSERT_TRUE(pixel == CAPTION_GLYPH || pixel == CAPTION_BACKGROUND) << std::hex << pixel;
            glyphPixels += pixel == CAPTION_GLYPH;
        }
        // Several pixels per character: the text is really there.
        EXPECT_GT(glyphPixels, static_cast<int>(text.size()) * 5);
    }
}

// The text drawn into a band of the given width.
CaptionBitmap drawnInto(GdiTextRenderer& gdi, std::u16string_view text, std::int32_t width) {
    CaptionBitmap bitmap(width);
    EXPECT_TRUE(gdi.drawText(text, bitmap));
    return bitmap;
}

TEST(GdiTextRenderer, TheWidthRuleHoldsTheWholeText) {
    // The rule adds up the widths measured in the caption font, and the text
    // is drawn in that same font from the band's left edge. So the band of
    // exactly the rule's width shows what a wider band shows in those columns,
    // and the pen ends the text exactly at the rule's width: a character drawn
    // after the text lands where the same character lands when drawn alone
    // and moved right by the rule's width. How far a glyph's ink reaches past
    // its advance is the font's own business; the band simply clips it.
    GdiTextRenderer gdi;
    CharWidths widths{};
    gdi.measureCharWidths(widths);
    const std::u16string text = composeCaptionText(LONGEST_TITLE, ColorCalibration{});
    const RenderedCaption exact = render(gdi, text);
    const RenderedCaption wide = render(gdi, text, 40);
    ASSERT_GT(exact.width, 0);
    for (std::int32_t y = 0; y < 18; ++y) {
        EXPECT_EQ(std::memcmp(exact.bitmap.pictureRow(y), wide.bitmap.pictureRow(y),
                              static_cast<std::size_t>(exact.width) * 4),
                  0)
            << "row " << y;
    }
    const auto [first, end] = glyphColumns(wide.bitmap);
    EXPECT_LT(first, widths[text.front()]) << "the first character is drawn at the band's left edge";
    EXPECT_GT(end, exact.width - widths[text.back()]) << "the last character is drawn where the rule puts it";

    // The mark is drawn alone after a space, so a mark whose ink starts left
    // of its cell is not clipped at the band's edge.
    const std::u16string_view mark = u" |";
    const std::int32_t markWidth = captionWidth(mark, widths);
    const std::int32_t space = widths[u' '];
    ASSERT_GT(space, 0);
    const std::int32_t band = exact.width + markWidth + 20;
    const CaptionBitmap together = drawnInto(gdi, text + u'|', band);
    const CaptionBitmap textAlone = drawnInto(gdi, text, band);
    const CaptionBitmap markAlone = drawnInto(gdi, mark, band);
    const std::int32_t shift = exact.width - space;
    int markPixels = 0;
    for (std::int32_t y = 0; y < 18; ++y) {
        for (std::int32_t x = 0; x < band; ++x) {
            const bool fromText = textAlone.pictureRow(y)[x] == CAPTION_GLYPH;
            const bool fromMark = x >= shift && markAlone.pictureRow(y)[x - shift] == CAPTION_GLYPH;
            markPixels += fromMark;
            ASSERT_EQ(together.pictureRow(y)[x], fromText || fromMark ? CAPTION_GLYPH : CAPTION_BACKGROUND)
                << "column " << x << ", row " << y << " (the text's rule width is " << exact.width << ")";
        }
    }
    EXPECT_GT(markPixels, 0) << "the mark must show for this check to mean anything";
}

TEST(GdiTextRenderer, RowsAreStoredBottomRowFirst) {
    // The same text drawn by GDI into a top-down section is the upright
    // picture; the renderer's stored rows must be its rows in reverse order.
    GdiTextRenderer gdi;
    const std::u16string text = u"Ag|_^ 1.00";
    const RenderedCaption caption = render(gdi, text);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = caption.width;
    info.bmiHeader.biHeight = -18;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    const HBITMAP section = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    SelectObject(memory, section);
    // The caption font: the default one, unsmoothed, and no taller than the band.
    LOGFONTA description{};
    GetObjectA(GetCurrentObject(screen, OBJ_FONT), sizeof description, &description);
    TEXTMETRICA metrics{};
    if (GetTextMetricsA(screen, &metrics) != 0 && metrics.tmHeight > CAPTION_HEIGHT) {
        description.lfHeight = CAPTION_HEIGHT;
        description.lfWidth = 0;
    }
    description.lfQuality = NONANTIALIASED_QUALITY;
    const HFONT font = CreateFontIndirectA(&description);
    SelectObject(memory, font);
    SetTextColor(memory, RGB(0, 255, 0));
    SetBkColor(memory, RGB(0, 0, 0));
    const std::wstring wide(text.begin(), text.end());
    INT measured[256] = {};
    GetCharWidthA(memory, 0, 255, measured);
    std::vector<INT> advances;
    for (const char16_t unit : text) advances.push_back(measured[unit]);
    ExtTextOutW(memory, 0, 0, 0, nullptr, wide.c_str(), static_cast<UINT>(wide.size()), advances.data());
    GdiFlush();
    const auto* upright = static_cast<const std::uint32_t*>(bits);
    bool rowsDiffer = false;
    for (std::int32_t y = 0; y < 18; ++y) {
        const std::uint32_t* expected = upright + static_cast<std::size_t>(y) * caption.width;
        EXPECT_EQ(std::memcmp(caption.bitmap.storedRow(17 - y), expected,
                              static_cast<std::size_t>(caption.width) * 4),
                  0)
            << "picture row " << y;
        if (y > 0) {
            rowsDiffer |= std::memcmp(expected, expected - caption.width,
                                      static_cast<std::size_t>(caption.width) * 4) != 0;
        }
    }
    EXPECT_TRUE(rowsDiffer) << "the text must not be symmetric top to bottom for this test to mean anything";
    DeleteDC(memory);
    DeleteObject(section);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
}

TEST(GdiTextRenderer, CaptionLandsInTheTopLeftBandOfTheSurface) {
    // 32 and 24 bits per pixel, and a surface narrower than the caption: the
    // band is rows 0..17 and the caption's columns; the rest keeps its bytes.
    struct Case {
        std::int32_t width;
        std::int32_t bitsPerPixel;
    };
    GdiTextRenderer gdi;
    for (const Case c : {Case{1366, 32}, Case{1366, 24}, Case{120, 24}, Case{120, 32}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x24 at " << c.bitsPerPixel << " bits");
        MemorySurface surface(c.width, 24, c.bitsPerPixel, 0, 0x5A);
        const ColorCalibration neutral;
        drawCaption(surface, gdi, FIRST_TITLE, neutral);
        const std::u16string text = composeCaptionText(FIRST_TITLE, neutral);
        const RenderedCaption caption = render(gdi, text);
        const std::int32_t band = std::min(caption.width, c.width);
        const std::int32_t step = c.bitsPerPixel / 8;
        for (std::int32_t y = 0; y < 24; ++y) {
            for (std::int32_t x = 0; x < c.width; ++x) {
                const std::uint8_t* pixel = surface.bytes().data() + y * surface.pitch() + x * step;
                if (y < 18 && x < band) {
                    ASSERT_EQ(surface.pixel(x, y), caption.bitmap.pictureRow(y)[x]) << x << "," << y;
                    if (step == 4) {
                        ASSERT_EQ(pixel[3], 0) << x << "," << y;
                    }
                } else {
                    for (std::int32_t b = 0; b < step; ++b) {
                        ASSERT_EQ(pixel[b], 0x5A) << x << "," << y;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace veltrane::win32
