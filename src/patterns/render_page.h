// Draws one whole page, caption last, into the back buffer. The only way a
// page gets drawn: at start-up, after every key that changes something, and
// after lost surfaces have been restored.
#pragma once

#include <cstdint>

#include "calibration/color_calibration.h"
#include "display/surface.h"
#include "patterns/caption.h"
#include "patterns/gamma_check.h"

namespace veltrane {

struct PageTarget {
    Surface& backBuffer;
    TextRenderer* captionText;  // null draws the page without a caption
    std::int32_t screenWidth;   // the block layout follows the screen size
    std::int32_t screenHeight;
    // What the gamma check keeps between drawings, owned by the program so a
    // key press recomputes only what it changed; null computes it afresh.
    GammaCheckRows* gammaRows = nullptr;
};

// The edge of block `index` (0..16) across `size` pixels: computed from the
// full size each time so the 16 blocks tile the screen with no gaps.
std::int32_t blockEdge(std::int32_t size, int index);

// Draws page `page` (0..PAGE_COUNT-1); any other index draws nothing at all.
// Returns the caption's result, which is always false.
bool renderPage(const PageTarget& target, int page, const ColorCalibration& calibration);

}  // namespace veltrane
