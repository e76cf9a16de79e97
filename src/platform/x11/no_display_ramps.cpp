// openDisplayRamps for a Linux build without Xlib and libXrandr: the ramps
// cannot be reached, and the user learns what the build lacks. No EDID is
// read either.
#include "calibration/gamma_ramp_device.h"
#include "platform/x11/xrandr_output_edid.h"

namespace veltrane {

std::unique_ptr<GammaRampDevice> openDisplayRamps(std::string& whyNot) {
    whyNot = "this build has no XRandR support (it was built without libxrandr-dev)";
    return nullptr;
}

std::optional<std::string> xrandrOutputEdid(const std::string&) { return std::nullopt; }

}  // namespace veltrane
