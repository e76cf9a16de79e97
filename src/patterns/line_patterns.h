// Single-pixel black and white rows, columns and checkerboard. These bypass the
// correction model: white is 0xFF and black 0x00 in each colour byte.
#pragma once

#include "display/surface.h"

namespace veltrane {

// Each returns true when the surface could not be locked (nothing is written).
bool drawHorizontalLines(Surface& backBuffer);  // white rows on even y
bool drawVerticalLines(Surface& backBuffer);    // white columns on even x
bool drawNetDots(Surface& backBuffer);          // white where x + y is even

}  // namespace veltrane
