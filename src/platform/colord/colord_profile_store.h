// The profile store on Linux: colord's display devices. GNOME and KDE load
// the 'vcgt' of a device's default profile into the display at every login,
// on X11 and on Wayland alike.
// - A display is a colord device of kind "display", found for an output by
//   the MD5 of its monitor's EDID (OutputEdidMd5) first, then by the output's
//   name (XRANDR_name); its id is always colord's own.
// - Our profile for a device lives in the user's ICC folder
//   ($XDG_DATA_HOME/icc, which the desktop registers again at every login)
//   under a name made from the device id, is registered through a file
//   descriptor under the id colord itself gives a file ("icc-" and the
//   profile's MD5 id), and says in its metadata that veltrane-lut installed
//   it for that device (CMF_product and MAPPING_device_id).
// - An entry colord lists but never published (left by a failed create) is
//   never used and never made the default.
// - The hold is colord's profiling inhibit, which colord drops by itself
//   when our bus connection closes.
// Implements the ProfileStore seam; depends on colord_client (GDBus) and on
// the one file writer (platform/file_writing.h).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "calibration/profile_store.h"

namespace veltrane {

class ColordClient;

// The raw EDID of the monitor on an output as the session names it;
// nothing when it cannot be read.
using EdidOfOutput = std::function<std::optional<std::string>(const std::string& outputName)>;

class ColordProfileStore final : public ProfileStore {
public:
    // Nothing, with the reason in `whyNot`, when colord cannot be reached.
    // `profileFolder` is where our profile files go.
    static std::unique_ptr<ColordProfileStore> open(EdidOfOutput edidOfOutput, std::string profileFolder,
                                                    std::string& whyNot);
    ~ColordProfileStore() override;

    std::optional<std::vector<ProfileDisplay>> displays(std::string& error) override;
    std::optional<ProfileDisplay> findDisplay(const std::string& outputName, std::string& error) override;
    bool defaultProfile(const ProfileDisplay& display, std::optional<DefaultProfile>& found,
                        std::string& error) override;
    bool installAsDefault(const ProfileDisplay& display, const std::string& profileBytes, std::string& done,
                          std::string& error) override;
    bool uninstall(const ProfileDisplay& display, std::string& done, std::string& error) override;
    std::unique_ptr<CalibrationHold> holdCalibrationOff(const ProfileDisplay& display, std::string& error) override;

    // The file our profile for the display is kept in.
    std::string profileFileFor(const ProfileDisplay& display) const;

private:
    ColordProfileStore(std::shared_ptr<ColordClient> client, EdidOfOutput edidOfOutput, std::string profileFolder);
    std::optional<ProfileDisplay> displayAt(const std::string& devicePath, std::string& error);

    std::shared_ptr<ColordClient> client_;
    EdidOfOutput edidOfOutput_;
    std::string profileFolder_;
};

// The user's ICC folder: $XDG_DATA_HOME/icc, else ~/.local/share/icc.
std::string userProfileFolder();

}  // namespace veltrane
