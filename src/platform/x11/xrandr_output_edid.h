// The EDID of the monitor on an X11 output, from the output's "EDID"
// property through XRandR, for matching the output to colord's display
// device. Xlib and libXrandr stay inside the .cpp file; a build without
// them reads no EDID.
#pragma once

#include <optional>
#include <string>

namespace veltrane {

// The EDID on output `outputName` of the X display named by DISPLAY.
// Nothing when there is no such display or output, or it reports no EDID.
std::optional<std::string> xrandrOutputEdid(const std::string& outputName);

}  // namespace veltrane
