// openProfileStore on Linux: colord, with the session's outputs matched to
// their monitors by EDID. On Wayland the output names are the compositor's,
// after the kernel's DRM connectors, whose EDIDs sysfs shows; on X11 they
// are RandR's, which carries each output's EDID as a property.
#include <cstdlib>

#include "platform/colord/colord_profile_store.h"
#include "platform/drm/drm_connector_edid.h"
#include "platform/x11/xrandr_output_edid.h"

namespace veltrane {

std::unique_ptr<ProfileStore> openProfileStore(std::string& whyNot) {
    EdidOfOutput edidOfOutput = [](const std::string& outputName) -> std::optional<std::string> {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (wayland != nullptr && *wayland != '\0') return drmConnectorEdid(SYSFS_DRM_FOLDER, outputName);
        return xrandrOutputEdid(outputName);
    };
    return ColordProfileStore::open(std::move(edidOfOutput), userProfileFolder(), whyNot);
}

}  // namespace veltrane
