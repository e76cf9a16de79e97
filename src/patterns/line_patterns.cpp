#include "patterns/line_patterns.h"

namespace veltrane {
namespace {

struct LineRule {
    bool flipAfterEachPixel;  // alternate along the row
    bool alternateRowStart;   // odd rows start black
};

// One lock, one pass, one running colour. Each row starts with the colour its
// own parity needs rather than whatever the previous row left, so a surface of
// odd width still shows columns as columns and dots as dots.
bool drawLinePattern(Surface& backBuffer, LineRule rule) {
    LockedSurface locked;
    if (!backBuffer.lock(locked)) return true;

    const std::int32_t step = locked.pixelStep();
    for (std::int32_t y = 0; y < locked.height; ++y) {
        std::uint8_t colour = (rule.alternateRowStart && (y & 1) != 0) ? 0x00 : 0xFF;
        std::uint8_t* pixel = locked.row(y);
        for (std::int32_t x = 0; x < locked.width; ++x, pixel += step) {
            pixel[0] = colour;
            pixel[1] = colour;
            pixel[2] = colour;
            if (rule.flipAfterEachPixel) colour = static_cast<std::uint8_t>(~colour);
        }
    }

    backBuffer.unlock();
    return false;
}

}  // namespace

bool drawHorizontalLines(Surface& backBuffer) {
    return drawLinePattern(backBuffer, {.flipAfterEachPixel = false, .alternateRowStart = true});
}

bool drawVerticalLines(Surface& backBuffer) {
    return drawLinePattern(backBuffer, {.flipAfterEachPixel = true, .alternateRowStart = false});
}

bool drawNetDots(Surface& backBuffer) {
    return drawLinePattern(backBuffer, {.flipAfterEachPixel = true, .alternateRowStart = true});
}

}  // namespace veltrane
