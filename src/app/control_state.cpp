#include "app/control_state.h"

namespace veltrane {

double& calibrationParameter(ColorCalibration& calibration, Channel channel, Parameter parameter) {
    ChannelCalibration& c = channel == Channel::Red     ? calibration.red
                            : channel == Channel::Green ? calibration.green
                                                        : calibration.blue;
    switch (parameter) {
        case Parameter::Brightness: return c.brightness;
        case Parameter::Contrast: return c.contrast;
        case Parameter::Gamma: break;
    }
    return c.gamma;
}

}  // namespace veltrane
