// The EDID of the monitor on a DRM connector, as the kernel shows it in
// sysfs (/sys/class/drm/card0-HDMI-A-1/edid). A Wayland compositor names its
// outputs after the connectors, so this is how a Wayland session's output
// is matched to its monitor without asking the compositor. Standard library
// only.
#pragma once

#include <optional>
#include <string>

namespace veltrane {

inline constexpr const char* SYSFS_DRM_FOLDER = "/sys/class/drm";

// The EDID of the first card's connector `connector` (the "HDMI-A-1" of
// "card0-HDMI-A-1") under `drmFolder`. Nothing when no card has such a
// connector or no monitor's EDID is there (an empty file).
std::optional<std::string> drmConnectorEdid(const std::string& drmFolder, const std::string& connector);

}  // namespace veltrane
