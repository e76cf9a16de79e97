// openDisplayRamps for a Linux build without Xlib and libXrandr: the ramps
// cannot be reached, and the user learns what the build lacks.
#include "calibration/gamma_ramp_device.h"

namespace veltrane {

std::unique_ptr<GammaRampDevice> openDisplayRamps(std::string& whyNot) {
    whyNot = "this build has no XRandR support (it was built without libxrandr-dev)";
    return nullptr;
}

}  // namespace veltrane
