#include "patterns/line_patterns.h"

#include "display/pixel_run.h"

namespace veltrane {
namespace {

constexpr std::uint32_t WHITE = 0xFFFFFF;
constexpr std::uint32_t BLACK = 0x000000;

struct LineRule {
    bool flipAfterEachPixel;  // alternate along the row
    bool alternateRowStart;   // odd rows start black
};

// One lock, one pass. Each row starts with the colour its own parity needs
// rather than whatever the previous row left, so a surface of odd width still
// shows columns as columns and dots as dots. That makes every even row alike
// and every odd row alike: each is built once and written into its rows.
bool drawLinePattern(Surface& backBuffer, LineRule rule) {
    LockedSurface locked;
    if (!backBuffer.lock(locked)) return true;

    const std::uint32_t oddRowStart = rule.alternateRowStart ? BLACK : WHITE;
    const auto afterFlip = [&](std::uint32_t start) {
        return rule.flipAfterEachPixel ? (start ^ WHITE) : start;
    };
    const PixelRun evenRow(locked, locked.width, WHITE, afterFlip(WHITE));
    const PixelRun oddRow(locked, locked.width, oddRowStart, afterFlip(oddRowStart));
    // Top to bottom: at 32 bits every row is read as well as written, and
    // one pass over the even rows and another over the odd ones ran twice
    // as long at 3840x2160.
    const RowStores stores = rowStoresFor(locked);
    for (std::int32_t y = 0; y < locked.height; ++y) {
        ((y & 1) == 0 ? evenRow : oddRow).storeRow(locked.row(y), stores);
    }
    finishRowCopies(stores);

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
