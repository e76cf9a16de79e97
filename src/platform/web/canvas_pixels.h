// The back buffer's pixels in the order a canvas takes them. The pages are
// drawn as blue, green, red and a fourth byte per pixel (as DirectDraw and
// the other programs keep them); a canvas's ImageData is red, green, blue,
// alpha. The copy reorders the colour bytes exactly and makes every pixel
// opaque (alpha 255), whatever the fourth byte held, one 32-bit word at a
// time in a loop the compiler turns into vector code.
// Depends on the core's surface seam; no browser header.
#pragma once

#include <cstdint>

#include "display/surface.h"

namespace veltrane {

// Writes width * height * 4 bytes to `rgba`, rows without gaps, from a locked
// surface of 24 or 32 bits per pixel.
void copyToCanvasPixels(const LockedSurface& surface, std::uint8_t* rgba);

}  // namespace veltrane
