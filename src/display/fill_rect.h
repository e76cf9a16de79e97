#pragma once

#include <cstdint>

#include "display/surface.h"

namespace veltrane {

// Left and top inclusive, right and bottom exclusive, as the platform's RECT.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Fills a rectangle (or, with no rectangle, the whole surface) with one
// 0x00RRGGBB value through one lock cycle. The rectangle is clipped to the
// surface, so nothing is ever written outside the locked memory. Returns true
// when the surface could not be locked.
bool fillRect(Surface& surface, const Rect* rect, std::uint32_t color);

}  // namespace veltrane
