#include "display/fill_rect.h"

#include <algorithm>

#include "display/pixel_run.h"

namespace veltrane {

bool fillRect(Surface& surface, const Rect* rect, std::uint32_t color) {
    LockedSurface locked;
    if (!surface.lock(locked)) return true;

    Rect area{0, 0, locked.width, locked.height};
    if (rect != nullptr) {
        area.left = std::max(rect->left, 0);
        area.top = std::max(rect->top, 0);
        area.right = std::min(rect->right, locked.width);
        area.bottom = std::min(rect->bottom, locked.height);
    }

    // An empty or wholly outside area writes nothing; checking first also keeps
    // the row pointer from ever being formed outside the locked memory.
    if (area.left >= area.right || area.top >= area.bottom) {
        surface.unlock();
        return false;
    }

    // The run is built once and written into every row of the area.
    const PixelRun run(locked, area.right - area.left, color, color);
    run.storeInto(locked, {area.top, area.bottom}, area.left);

    surface.unlock();
    return false;
}

}  // namespace veltrane
