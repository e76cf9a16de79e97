// The state the keyboard drives, owned by the program: the page on screen, the
// modifier flags and the calibration, and the way a channel and a parameter
// name one of the calibration's nine numbers.
#pragma once

#include "calibration/color_calibration.h"

namespace veltrane {

struct KeyState {
    bool shiftDown = false;    // selects the blue channel
    bool controlDown = false;  // selects the green channel (Shift wins when both are held)
};

enum class Channel { Red, Green, Blue };
enum class Parameter { Brightness, Contrast, Gamma };

// The state the keyboard drives, owned by the program's entry point.
struct ControlState {
    int currentPage = 0;
    KeyState keys;
    ColorCalibration calibration;
};

// The one number a channel and a parameter name, for the key map's
// adjustments and the exporter's command-line values alike.
double& calibrationParameter(ColorCalibration& calibration, Channel channel, Parameter parameter);

}  // namespace veltrane
