#include "platform/win32/windows_profile_store.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <utility>

#include "platform/file_writing.h"
#include "platform/win32/wide_text.h"

namespace veltrane::win32 {
namespace {

constexpr const char* WCS_CALLS = "the per-user colour calls (WcsAssociateColorProfileWithDevice, "
                                  "WcsSetDefaultColorProfile)";
constexpr const char* OLDER_CALLS = "the older association call (AssociateColorProfileWithDeviceW)";
constexpr const char* TURN_ON_BY_HAND =
    "turn on 'Use Windows display calibration' in Colour Management (colorcpl): Advanced tab, 'Change system "
    "defaults'";

// "DISPLAY1" for "\\.\DISPLAY1": the display's name where a backslash cannot go.
std::wstring recordKey(const ColourDisplay& display) {
    const std::size_t slash = display.deviceName.find_last_of(L'\\');
    return slash == std::wstring::npos ? display.deviceName : display.deviceName.substr(slash + 1);
}

std::wstring fileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The monitor device class, icm.h's CLASS_MONITOR ('mntr'), without a multi-character constant.
constexpr DWORD MONITOR_CLASS = 0x6D6E7472;

bool sameName(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// A new file name for every new calibration, so that Windows never has to
// replace a profile that is in use: the display and a hash of the bytes.
std::wstring ourProfileName(const ColourDisplay& display, const std::string& bytes) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    wchar_t digits[9];
    std::swprintf(digits, 9, L"%08x", static_cast<unsigned>(hash));
    return L"Veltrane " + recordKey(display) + L" " + digits + L".icm";
}

std::string because(const char* call, const std::string& label, DWORD error) {
    return call + std::string(" refused for ") + label + ": " + systemErrorText(error);
}

// The default a Wcs… scope holds for the monitor, or nothing.
std::wstring wcsDefault(const WcsCalls& wcs, WCS_PROFILE_MANAGEMENT_SCOPE scope, const std::wstring& monitor) {
    DWORD size = 0;
    if (!wcs.getDefaultSize(scope, monitor.c_str(), CPT_ICC, CPST_NONE, 0, &size) || size == 0) return {};
    std::wstring name(size / sizeof(wchar_t) + 1, L'\0');
    if (!wcs.getDefault(scope, monitor.c_str(), CPT_ICC, CPST_NONE, 0, size, name.data())) return {};
    name.resize(wcsnlen(name.c_str(), name.size()));
    return name;
}

}  // namespace

std::vector<ColourDisplay> colourDisplays() {
    std::vector<ColourDisplay> displays;
    DISPLAY_DEVICEW adapter{};
    adapter.cb = sizeof adapter;
    for (DWORD index = 0; EnumDisplayDevicesW(nullptr, index, &adapter, 0); ++index) {
        if ((adapter.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0) {
            ColourDisplay display;
            display.deviceName = adapter.DeviceName;
            display.label = "Display " + std::to_string(displays.size() + 1);
            DISPLAY_DEVICEW monitor{};
            monitor.cb = sizeof monitor;
            // Profiles belong to the monitor, named by its device key; a
            // system that names no monitor gets the display's own name.
            if (EnumDisplayDevicesW(adapter.DeviceName, 0, &monitor, EDD_GET_DEVICE_INTERFACE_NAME) &&
                monitor.DeviceKey[0] != L'\0') {
                display.monitorKey = monitor.DeviceKey;
            } else {
                display.monitorKey = adapter.DeviceName;
            }
            displays.push_back(std::move(display));
        }
        adapter = DISPLAY_DEVICEW{};
        adapter.cb = sizeof adapter;
    }
    return displays;
}

WindowsProfileStore::WindowsProfileStore(ColourSystemCalls& calls, ProfileCallsChoice choice, InstallRecords& records,
                                         std::vector<ColourDisplay> displays, std::wstring temporaryFolder)
    : calls_(calls),
      choice_(std::move(choice)),
      records_(records),
      displays_(std::move(displays)),
      temporaryFolder_(std::move(temporaryFolder)) {}

std::optional<std::vector<ProfileDisplay>> WindowsProfileStore::displays(std::string&) {
    std::vector<ProfileDisplay> known;
    for (const ColourDisplay& display : displays_) {
        const std::string name = utf8FromWide(display.deviceName);
        known.push_back({name, {name}, display.label, {}});
    }
    return known;
}

std::optional<ProfileDisplay> WindowsProfileStore::findDisplay(const std::string& name, std::string& error) {
    const std::optional<std::vector<ProfileDisplay>> all = displays(error);
    const std::wstring wide = wideFromUtf8(name);
    for (std::size_t i = 0; all && i < displays_.size(); ++i) {
        if (sameName(wide, displays_[i].deviceName) || sameName(wide, recordKey(displays_[i])) ||
            name == std::to_string(i + 1)) {
            return (*all)[i];
        }
    }
    return std::nullopt;
}

const ColourDisplay* WindowsProfileStore::find(const ProfileDisplay& display) const {
    for (const ColourDisplay& known : displays_) {
        if (utf8FromWide(known.deviceName) == display.id) return &known;
    }
    return nullptr;
}

std::optional<std::wstring> WindowsProfileStore::currentDefaultName(const ColourDisplay& display) {
    const std::optional<std::wstring> path = calls_.currentProfile(display.deviceName);
    if (!path || path->empty()) return std::nullopt;
    return fileNameOf(*path);
}

bool WindowsProfileStore::defaultProfile(const ProfileDisplay& display, std::optional<DefaultProfile>& found,
                                         std::string& error) {
    found.reset();
    const ColourDisplay* known = find(display);
    if (known == nullptr) {
        error = "Windows knows no display " + display.label;
        return false;
    }
    const std::optional<std::wstring> path = calls_.currentProfile(known->deviceName);
    if (!path || path->empty()) return true;
    DefaultProfile profile;
    profile.location = utf8FromWide(*path);
    profile.title = calls_.profileDescription(*path).value_or(utf8FromWide(fileNameOf(*path)));
    const std::optional<InstallRecord> record = records_.read(recordKey(*known));
    profile.ours = record && sameName(record->ourProfile, fileNameOf(*path));
    profile.bytes = calls_.profileBytes(*path);
    found = std::move(profile);
    return true;
}

bool WindowsProfileStore::makeDefaultWithWcs(const ColourDisplay& display, const std::wstring& ours,
                                             InstallRecord& record, std::string& done, std::string& error) {
    const WcsCalls& wcs = *choice_.wcs;
    const wchar_t* monitor = display.monitorKey.c_str();
    if (record.ourProfile.empty()) {
        // The first profile of ours for this display: what it replaces is
        // remembered for uninstall.
        BOOL perUser = FALSE;
        if (!wcs.getUsePerUser(monitor, MONITOR_CLASS, &perUser)) perUser = FALSE;
        record.previousPerUser = perUser != FALSE;
        record.previousDefault = wcsDefault(
            wcs, perUser ? WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER : WCS_PROFILE_MANAGEMENT_SCOPE_SYSTEM_WIDE,
            display.monitorKey);
    }
    if (!wcs.associate(WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER, ours.c_str(), monitor)) {
        error = because("WcsAssociateColorProfileWithDevice", display.label, GetLastError());
        return false;
    }
    if (!wcs.setUsePerUser(monitor, MONITOR_CLASS, TRUE) ||
        !wcs.setDefault(WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER, monitor, CPT_ICC, CPST_NONE, 0, ours.c_str())) {
        error = because("Windows", display.label, GetLastError()) +
                " (the profile could not be made your default for it)";
        wcs.disassociate(WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER, ours.c_str(), monitor);
        wcs.setUsePerUser(monitor, MONITOR_CLASS, record.previousPerUser);
        return false;
    }
    BOOL calibrationOn = FALSE;
    std::string loader;
    if (wcs.getCalibrationState(&calibrationOn) && calibrationOn) {
        loader = "Windows' display calibration is on: it loads the profile's table at every sign-in.";
    } else if (wcs.setCalibrationState(TRUE)) {
        loader = "Windows' display calibration is now on: it loads the profile's table at every sign-in.";
    } else {
        loader = "Windows' display calibration is off, and turning it on needs an administrator: run "
                 "'veltrane-lut install' once from an administrator's command prompt, or " +
                 std::string(TURN_ON_BY_HAND) + ".";
    }
    record.wcsCalls = true;
    done = "Installed " + utf8FromWide(ours) + " as the default profile of " + display.label + " for you, through " +
           WCS_CALLS + ". " + loader;
    return true;
}

bool WindowsProfileStore::makeDefaultWithOlderCalls(const ColourDisplay& display, const std::wstring& ours,
                                                    InstallRecord& record, std::string& done, std::string& error) {
    if (record.ourProfile.empty()) record.previousDefault = currentDefaultName(display).value_or(L"");
    DWORD failure = ERROR_SUCCESS;
    // The profile associated last is the monitor's default.
    if (!calls_.associate(ours, display.monitorKey, failure)) {
        error = because("AssociateColorProfileWithDeviceW", display.label, failure);
        return false;
    }
    record.wcsCalls = false;
    done = "Installed " + utf8FromWide(ours) + " as the default profile of " + display.label + ", through " +
           OLDER_CALLS + ", because " + choice_.olderBecause + ". For Windows to load its table at every sign-in, " +
           TURN_ON_BY_HAND + ".";
    return true;
}

bool WindowsProfileStore::installAsDefault(const ProfileDisplay& display, const std::string& profileBytes,
                                           std::string& done, std::string& error) {
    const ColourDisplay* known = find(display);
    if (known == nullptr) {
        error = "Windows knows no display " + display.label;
        return false;
    }
    std::wstring folder;
    DWORD failure = ERROR_SUCCESS;
    if (!calls_.colorDirectory(folder, failure)) {
        error = "Windows does not tell where its colour profiles go: " + systemErrorText(failure);
        return false;
    }
    const std::wstring key = recordKey(*known);
    const std::optional<InstallRecord> earlier = records_.read(key);
    const std::wstring ours = ourProfileName(*known, profileBytes);
    const bool newFile = !earlier || !sameName(earlier->ourProfile, ours);

    if (newFile) {
        // InstallColorProfileW copies a file, under its own name, into the colour folder.
        const std::wstring staged = temporaryFolder_ + L"\\" + ours;
        std::string written;
        if (!writeFile(utf8FromWide(staged), profileBytes, written)) {
            error = "the profile could not be made ready to install: " + written;
            return false;
        }
        const bool installed = calls_.installProfile(staged, failure);
        DeleteFileW(staged.c_str());
        if (!installed) {
            error = "Windows refused to install the profile into " + utf8FromWide(folder) + ": " +
                    systemErrorText(failure) + ". Nothing was changed; the default profile of " + display.label +
                    " is as it was.";
            return false;
        }
    }

    InstallRecord record = earlier.value_or(InstallRecord{});
    if (!earlier) record.ourProfile.clear();
    const bool madeDefault = choice_.wcs ? makeDefaultWithWcs(*known, ours, record, done, error)
                                         : makeDefaultWithOlderCalls(*known, ours, record, done, error);
    if (!madeDefault) {
        if (newFile) calls_.uninstallProfile(folder + L"\\" + ours, failure);
        error += ". Nothing was changed; the default profile of " + display.label + " is as it was.";
        return false;
    }
    // Our earlier profile for this display goes, once the new one is the default.
    if (earlier && newFile) {
        if (earlier->wcsCalls && choice_.wcs) {
            choice_.wcs->disassociate(WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER, earlier->ourProfile.c_str(),
                                      known->monitorKey.c_str());
        } else {
            calls_.disassociate(earlier->ourProfile, known->monitorKey, failure);
        }
        calls_.uninstallProfile(folder + L"\\" + earlier->ourProfile, failure);
    }
    record.ourProfile = ours;
    if (!records_.write(key, record)) {
        done += " (The registry could not keep what was the default before, so 'uninstall' will leave Windows' "
                "own default.)";
    }
    return true;
}

bool WindowsProfileStore::uninstall(const ProfileDisplay& display, std::string& done, std::string& error) {
    const ColourDisplay* known = find(display);
    if (known == nullptr) {
        error = "Windows knows no display " + display.label;
        return false;
    }
    const std::wstring key = recordKey(*known);
    const std::optional<InstallRecord> record = records_.read(key);
    if (!record) {
        done = "No profile of Veltrane's is installed for " + display.label + "; nothing was changed.";
        return true;
    }
    std::wstring folder;
    DWORD failure = ERROR_SUCCESS;
    if (!calls_.colorDirectory(folder, failure)) {
        error = "Windows does not tell where its colour profiles go: " + systemErrorText(failure);
        return false;
    }
    const wchar_t* monitor = known->monitorKey.c_str();
    std::string how;
    if (record->wcsCalls) {
        if (!choice_.wcs) {
            error = "the profile was installed for " + display.label + " through the Wcs\xE2\x80\xA6 calls, which "
                    "cannot be used here: " + choice_.olderBecause;
            return false;
        }
        const WcsCalls& wcs = *choice_.wcs;
        if (!wcs.disassociate(WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER, record->ourProfile.c_str(), monitor)) {
            error = because("WcsDisassociateColorProfileFromDevice", display.label, GetLastError());
            return false;
        }
        // The default from before, or none (then Windows' own), and the
        // user's own list only where it was in use before.
        wcs.setDefault(WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER, monitor, CPT_ICC, CPST_NONE, 0,
                       record->previousDefault.empty() ? nullptr : record->previousDefault.c_str());
        wcs.setUsePerUser(monitor, MONITOR_CLASS, record->previousPerUser);
        how = WCS_CALLS;
    } else {
        // The profile associated before ours is the default again.
        if (!calls_.disassociate(record->ourProfile, known->monitorKey, failure)) {
            error = because("DisassociateColorProfileFromDeviceW", display.label, failure);
            return false;
        }
        how = "the older association call (DisassociateColorProfileFromDeviceW)";
    }
    const std::wstring file = folder + L"\\" + record->ourProfile;
    const bool removed = calls_.uninstallProfile(file, failure);
    records_.erase(key);
    done = "Took " + utf8FromWide(record->ourProfile) + " away from " + display.label + " through " + how + "; " +
           (record->previousDefault.empty() ? std::string("it has no default profile of its own again")
                                            : utf8FromWide(record->previousDefault) + " is its default again") +
           ".";
    if (!removed) {
        error = done + " Its file stays, though: " + utf8FromWide(file) + " (" + systemErrorText(failure) +
                "); remove it in Colour Management.";
        return false;
    }
    done += " Its file is removed from the colour folder.";
    return true;
}

namespace {

class NothingToHold final : public CalibrationHold {};

}  // namespace

std::unique_ptr<CalibrationHold> WindowsProfileStore::holdCalibrationOff(const ProfileDisplay&, std::string&) {
    return std::make_unique<NothingToHold>();
}

}  // namespace veltrane::win32

namespace veltrane {

std::unique_ptr<ProfileStore> openProfileStore(std::string& whyNot) {
    std::vector<win32::ColourDisplay> displays = win32::colourDisplays();
    if (displays.empty()) {
        whyNot = "Windows lists no display attached to the desktop";
        return nullptr;
    }
    wchar_t temporary[MAX_PATH + 1] = L"";
    const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
    std::wstring folder = length > 0 && length <= MAX_PATH ? std::wstring(temporary, length) : L".";
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    static win32::RegistryInstallRecords records;
    return std::make_unique<win32::WindowsProfileStore>(
        win32::systemColourCalls(), win32::chooseProfileCalls(win32::lookUpSystemProcedure), records,
        std::move(displays), std::move(folder));
}

}  // namespace veltrane
