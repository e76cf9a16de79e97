// What the Windows profile store remembers between `install` and
// `uninstall` for each display: the profile of ours it installed, the
// default it replaced, and which calls it used. Kept in the registry beside
// the program's settings, under HKEY_CURRENT_USER\Software\Kardo\Orlith\Profiles
// (one key per display, "DISPLAY1"), in memory in the tests.
//
// Depends on: advapi32 (RegCreateKeyExW, RegSetValueExW, RegQueryValueExW,
// RegDeleteKeyW).
#pragma once

#include <optional>
#include <string>

namespace veltrane::win32 {

struct InstallRecord {
    std::wstring ourProfile;       // its file name in the colour folder
    std::wstring previousDefault;  // the default before ours (a file name); empty: none
    bool previousPerUser = false;  // whether the user's own profile list was in use before (Wcs… calls)
    bool wcsCalls = false;         // installed through the Wcs… calls, else the older ones
};

class InstallRecords {
public:
    virtual ~InstallRecords() = default;
    // `display` is the display's device name without its "\\.\" ("DISPLAY1").
    virtual std::optional<InstallRecord> read(const std::wstring& display) = 0;
    virtual bool write(const std::wstring& display, const InstallRecord& record) = 0;
    virtual void erase(const std::wstring& display) = 0;
};

// The records under HKEY_CURRENT_USER\Software\<maker>\<application>\Profiles.
class RegistryInstallRecords final : public InstallRecords {
public:
    explicit RegistryInstallRecords(std::wstring applicationKey = L"Software\\Kardo\\Orlith");
    std::optional<InstallRecord> read(const std::wstring& display) override;
    bool write(const std::wstring& display, const InstallRecord& record) override;
    void erase(const std::wstring& display) override;

private:
    std::wstring profilesKey_;
};

}  // namespace veltrane::win32
