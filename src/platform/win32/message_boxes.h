// The boxes shown at exit when the calibration could not be saved: one per
// channel, so the user can at least write the values down.
//
// Depends on: user32 (MessageBoxA).
#pragma once

#include "calibration/color_calibration.h"

namespace veltrane::win32 {

void showSettingsNotSaved(const ColorCalibration& calibration);

}  // namespace veltrane::win32
