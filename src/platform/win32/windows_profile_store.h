// The profile store on Windows (calibration/profile_store.h): the profile is
// installed into the colour folder and made the display's default for the
// current user, and Windows' display calibration is turned on, so Windows
// loads the profile's 'vcgt' at every sign-in. Two ways, chosen once
// (colour_system.h): the per-user Wcs… calls of Windows 7 and later, or,
// where they are missing or unusable (as under Wine), the older association
// calls; every message says which was used. What it replaced is kept in the
// registry (install_records.h), so `uninstall` puts back the default from
// before and removes only our profile. Also provides the Windows build's
// openProfileStore.
//
// Depends on: colour_system.h, install_records.h, file_writing.h (the
// profile goes to a temporary file for InstallColorProfileW), user32
// (EnumDisplayDevicesW).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "calibration/profile_store.h"
#include "platform/win32/colour_system.h"
#include "platform/win32/install_records.h"

namespace veltrane::win32 {

// A display as the colour system knows it.
struct ColourDisplay {
    std::wstring deviceName;  // "\\.\DISPLAY1", for GDI
    std::wstring monitorKey;  // its monitor's device key, which profiles are associated with
    std::string label;        // "Display 1"
};

// The displays attached to the desktop, with their monitors' keys.
std::vector<ColourDisplay> colourDisplays();

class WindowsProfileStore final : public ProfileStore {
public:
    WindowsProfileStore(ColourSystemCalls& calls, ProfileCallsChoice choice, InstallRecords& records,
                        std::vector<ColourDisplay> displays, std::wstring temporaryFolder);

    std::optional<std::vector<ProfileDisplay>> displays(std::string& error) override;
    // By number (1, 2, ... in the order displays() gives), by device name
    // ("\\.\DISPLAY1") or by that name without its "\\.\".
    std::optional<ProfileDisplay> findDisplay(const std::string& name, std::string& error) override;
    bool defaultProfile(const ProfileDisplay& display, std::optional<DefaultProfile>& found,
                        std::string& error) override;
    bool installAsDefault(const ProfileDisplay& display, const std::string& profileBytes, std::string& done,
                          std::string& error) override;
    bool uninstall(const ProfileDisplay& display, std::string& done, std::string& error) override;
    // Windows' calibration loader loads the default profile's table into the
    // display's ramp at sign-in, not while a program runs (and turning it off
    // needs an administrator): the hold has nothing to do, and the program
    // takes the table out of the ramp itself (ramp_handover.h).
    std::unique_ptr<CalibrationHold> holdCalibrationOff(const ProfileDisplay& display, std::string& error) override;

private:
    const ColourDisplay* find(const ProfileDisplay& display) const;
    std::optional<std::wstring> currentDefaultName(const ColourDisplay& display);
    bool makeDefaultWithWcs(const ColourDisplay& display, const std::wstring& ours, InstallRecord& record,
                            std::string& done, std::string& error);
    bool makeDefaultWithOlderCalls(const ColourDisplay& display, const std::wstring& ours, InstallRecord& record,
                                   std::string& done, std::string& error);

    ColourSystemCalls& calls_;
    ProfileCallsChoice choice_;
    InstallRecords& records_;
    std::vector<ColourDisplay> displays_;
    std::wstring temporaryFolder_;
};

}  // namespace veltrane::win32
