#include "patterns/caption.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace veltrane {

CaptionBitmap::CaptionBitmap(std::int32_t bitmapWidth)
    : width(bitmapWidth),
      pixels(static_cast<std::size_t>(std::max(bitmapWidth, 0)) * CAPTION_HEIGHT, CAPTION_BACKGROUND) {}

std::u16string composeCaptionText(std::u16string_view title, const ColorCalibration& calibration) {
    const ColorCalibration& c = calibration;
    const char* format = ": R:%.2lf,%.2lf,%.2lf, G:%.2lf,%.2lf,%.2lf, B:%.2lf,%.2lf,%.2lf";
    // Any finite double prints, so size the buffer from the values themselves.
    const int needed = std::snprintf(nullptr, 0, format, c.red.brightness, c.red.contrast, c.red.gamma,
                                     c.green.brightness, c.green.contrast, c.green.gamma,
                                     c.blue.brightness, c.blue.contrast, c.blue.gamma);
    std::string values(static_cast<std::size_t>(std::max(needed, 0)) + 1, '\0');
    std::snprintf(values.data(), values.size(), format, c.red.brightness, c.red.contrast,
                  c.red.gamma, c.green.brightness, c.green.contrast, c.green.gamma,
                  c.blue.brightness, c.blue.contrast, c.blue.gamma);
    values.pop_back();

    std::u16string text(title);
    text.append(values.begin(), values.end());  // the values are plain ASCII
    if (text.size() > CAPTION_MAX_LENGTH) text.resize(CAPTION_MAX_LENGTH);
    return text;
}

std::int32_t captionWidth(std::u16string_view text, const CharWidths& widths) {
    std::int64_t width = 0;
    for (const char16_t unit : text) {
        width += unit < 128 ? widths[unit] : WIDE_CHARACTER_WIDTH;
    }
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(width, 0, std::numeric_limits<std::int32_t>::max()));
}

void copyCaptionBand(const LockedSurface& surface, const CaptionBitmap& bitmap) {
    const std::int32_t step = surface.pixelStep();
    const std::int32_t columns = std::min(bitmap.width, surface.width);
    for (std::int32_t i = 0; i < bitmap.height; ++i) {
        const std::int32_t y = bitmap.height - 1 - i;
        if (y >= surface.height) continue;
        const std::uint32_t* source = bitmap.storedRow(i);
        std::uint8_t* target = surface.row(y);
        for (std::int32_t x = 0; x < columns; ++x, target += step) {
            storePixel(target, source[x]);
            // A 32-bit surface takes the bitmap pixel whole, its zero top byte too.
            if (step == 4) target[3] = static_cast<std::uint8_t>(source[x] >> 24);
        }
    }
}

bool drawCaption(Surface& backBuffer, TextRenderer& text, std::u16string_view title,
                 const ColorCalibration& calibration) {
    const std::u16string caption = composeCaptionText(title, calibration);
    CharWidths widths{};
    text.measureCharWidths(widths);
    const std::int32_t width = captionWidth(caption, widths);
    if (width <= 0) return false;

    CaptionBitmap bitmap(width);
    if (!text.drawText(caption, bitmap)) return false;

    LockedSurface locked;
    if (!backBuffer.lock(locked)) return false;
    copyCaptionBand(locked, bitmap);
    backBuffer.unlock();
    return false;
}

}  // namespace veltrane
