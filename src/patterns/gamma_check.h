// The gamma check: even rows carry a ramp t rising and falling five times
// across the width, odd rows the complement y with t^2.2 + y^2.2 = 1. On a
// display with a 2.2 response every column pair emits the light of one white
// row, so the page looks even from edge to edge.
#pragma once

#include "calibration/color_calibration.h"
#include "display/surface.h"

namespace veltrane {

// True when the surface could not be locked or the scratch rows could not be
// allocated; nothing is written then.
bool drawGammaCheck(Surface& backBuffer, const ColorCalibration& calibration);

// The folded ramp value of column `column` on a surface `width` pixels wide.
double gammaCheckRamp(std::int32_t column, std::int32_t width);

}  // namespace veltrane
