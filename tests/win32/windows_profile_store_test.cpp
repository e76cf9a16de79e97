// The Windows profile store over fakes of the colour system: both ways of
// making our profile a display's default (the per-user Wcs… calls, which
// Wine cannot run, and the older association calls), uninstall putting back
// the default from before and removing only our profile, and what the user
// is told when Windows refuses. The profile is staged in a real temporary
// folder, as InstallColorProfileW wants a file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/windows_profile_store.h"

namespace veltrane::win32 {
namespace {

const std::wstring FOLDER = L"C:\\windows\\system32\\spool\\drivers\\color";
const std::wstring MONITOR = L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{monitor}\\0001";
const std::wstring OTHER_MONITOR = L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{monitor}\\0002";

std::string readWhole(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The older calls, over profiles and association lists in memory: the last
// profile associated with a monitor is its default, as in Windows.
class FakeColourCalls final : public ColourSystemCalls {
public:
    std::map<std::wstring, std::string> installed;  // file name -> bytes
    std::map<std::wstring, std::vector<std::wstring>> associations;
    std::map<std::wstring, std::wstring> monitorOf;  // "\\.\DISPLAY1" -> monitor key
    DWORD refuseInstall = ERROR_SUCCESS;
    DWORD refuseAssociate = ERROR_SUCCESS;
    std::vector<std::string> calls;

    bool colorDirectory(std::wstring& folder, DWORD&) override {
        folder = FOLDER;
        return true;
    }
    bool installProfile(const std::wstring& path, DWORD& error) override {
        calls.push_back("InstallColorProfileW");
        if (refuseInstall != ERROR_SUCCESS) return fail(refuseInstall, error);
        const std::size_t slash = path.find_last_of(L'\\');
        installed[path.substr(slash + 1)] = readWhole(path);
        return true;
    }
    bool uninstallProfile(const std::wstring& path, DWORD& error) override {
        calls.push_back("UninstallColorProfileW");
        if (path.rfind(FOLDER + L"\\", 0) != 0) return fail(ERROR_FILE_NOT_FOUND, error);
        return installed.erase(path.substr(FOLDER.size() + 1)) == 1 || fail(ERROR_FILE_NOT_FOUND, error);
    }
    bool associate(const std::wstring& profile, const std::wstring& device, DWORD& error) override {
        calls.push_back("AssociateColorProfileWithDeviceW");
        if (refuseAssociate != ERROR_SUCCESS) return fail(refuseAssociate, error);
        if (installed.count(profile) == 0) return fail(ERROR_FILE_NOT_FOUND, error);
        auto& list = associations[device];
        list.erase(std::remove(list.begin(), list.end(), profile), list.end());
        list.push_back(profile);
        return true;
    }
    bool disassociate(const std::wstring& profile, const std::wstring& device, DWORD& error) override {
        calls.push_back("DisassociateColorProfileFromDeviceW");
        auto& list = associations[device];
        const auto found = std::find(list.begin(), list.end(), profile);
        if (found == list.end()) return fail(ERROR_FILE_NOT_FOUND, error);
        list.erase(found);
        return true;
    }
    std::optional<std::wstring> currentProfile(const std::wstring& displayName) override {
        const auto& list = associations[monitorOf.at(displayName)];
        if (list.empty()) return std::nullopt;
        return FOLDER + L"\\" + list.back();
    }
    std::optional<std::string> profileBytes(const std::wstring& path) override {
        const auto found = installed.find(path.substr(FOLDER.size() + 1));
        if (found == installed.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::string> profileDescription(const std::wstring& path) override {
        if (!profileBytes(path)) return std::nullopt;
        return "description of " + utf8(path.substr(FOLDER.size() + 1));
    }

    static std::string utf8(const std::wstring& text) { return std::string(text.begin(), text.end()); }

private:
    static bool fail(DWORD code, DWORD& error) {
        error = code;
        return false;
    }
};

// The Wcs… calls over a model of Windows' per-user and system-wide lists.
struct WcsModel {
    std::map<std::wstring, bool> perUser;
    std::map<std::wstring, std::wstring> userDefault;
    std::map<std::wstring, std::wstring> systemDefault;
    std::map<std::wstring, std::vector<std::wstring>> userAssociations;
    bool calibrationOn = false;
    bool mayTurnCalibrationOn = true;  // false: not an administrator
};
WcsModel wcsModel;

BOOL WINAPI wcsAssociate(WCS_PROFILE_MANAGEMENT_SCOPE scope, PCWSTR profile, PCWSTR device) {
    if (scope != WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER) return FALSE;
    wcsModel.userAssociations[device].push_back(profile);
    return TRUE;
}
BOOL WINAPI wcsDisassociate(WCS_PROFILE_MANAGEMENT_SCOPE scope, PCWSTR profile, PCWSTR device) {
    auto& list = wcsModel.userAssociations[device];
    const auto found = std::find(list.begin(), list.end(), std::wstring(profile));
    if (scope != WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER || found == list.end()) return FALSE;
    list.erase(found);
    if (wcsModel.userDefault[device] == profile) wcsModel.userDefault[device].clear();
    return TRUE;
}
const std::wstring& defaultIn(WCS_PROFILE_MANAGEMENT_SCOPE scope, PCWSTR device) {
    return scope == WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER ? wcsModel.userDefault[device]
                                                              : wcsModel.systemDefault[device];
}
BOOL WINAPI wcsGetDefaultSize(WCS_PROFILE_MANAGEMENT_SCOPE scope, PCWSTR device, COLORPROFILETYPE, COLORPROFILESUBTYPE,
                              DWORD, PDWORD size) {
    const std::wstring& name = defaultIn(scope, device);
    if (name.empty()) return FALSE;
    *size = static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
    return TRUE;
}
BOOL WINAPI wcsGetDefault(WCS_PROFILE_MANAGEMENT_SCOPE scope, PCWSTR device, COLORPROFILETYPE, COLORPROFILESUBTYPE,
                          DWORD, DWORD size, LPWSTR name) {
    const std::wstring& found = defaultIn(scope, device);
    if (found.empty() || size < (found.size() + 1) * sizeof(wchar_t)) return FALSE;
    std::copy(found.c_str(), found.c_str() + found.size() + 1, name);
    return TRUE;
}
BOOL WINAPI wcsSetDefault(WCS_PROFILE_MANAGEMENT_SCOPE scope, PCWSTR device, COLORPROFILETYPE, COLORPROFILESUBTYPE,
                          DWORD, LPCWSTR name) {
    if (scope != WCS_PROFILE_MANAGEMENT_SCOPE_CURRENT_USER) return FALSE;
    wcsModel.userDefault[device] = name == nullptr ? L"" : name;
    return TRUE;
}
BOOL WINAPI wcsGetUsePerUser(LPCWSTR device, DWORD, PBOOL use) {
    *use = wcsModel.perUser[device];
    return TRUE;
}
BOOL WINAPI wcsSetUsePerUser(LPCWSTR device, DWORD, BOOL use) {
    wcsModel.perUser[device] = use != FALSE;
    return TRUE;
}
BOOL WINAPI wcsGetCalibrationState(BOOL* on) {
    *on = wcsModel.calibrationOn;
    return TRUE;
}
BOOL WINAPI wcsSetCalibrationState(BOOL on) {
    if (!wcsModel.mayTurnCalibrationOn) return FALSE;
    wcsModel.calibrationOn = on != FALSE;
    return TRUE;
}

ProfileCallsChoice wcsChoice() {
    ProfileCallsChoice choice;
    choice.wcs = WcsCalls{wcsAssociate,    wcsDisassociate,  wcsGetDefaultSize,      wcsGetDefault,
                          wcsSetDefault,   wcsGetUsePerUser, wcsSetUsePerUser,       wcsGetCalibrationState,
                          wcsSetCalibrationState};
    return choice;
}

ProfileCallsChoice olderChoice() {
    ProfileCallsChoice choice;
    choice.olderBecause = "this is Wine, whose Wcs\xE2\x80\xA6 functions end the process";
    return choice;
}

class MemoryInstallRecords final : public InstallRecords {
public:
    std::map<std::wstring, InstallRecord> records;
    std::optional<InstallRecord> read(const std::wstring& display) override {
        const auto found = records.find(display);
        if (found == records.end()) return std::nullopt;
        return found->second;
    }
    bool write(const std::wstring& display, const InstallRecord& record) override {
        records[display] = record;
        return true;
    }
    void erase(const std::wstring& display) override { records.erase(display); }
};

std::wstring temporaryFolder() {
    wchar_t path[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, path);
    std::wstring folder = path;
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class WindowsProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        wcsModel = WcsModel{};
        calls.monitorOf = {{L"\\\\.\\DISPLAY1", MONITOR}, {L"\\\\.\\DISPLAY2", OTHER_MONITOR}};
        // The display's maker's profile, its default before ours.
        calls.installed[L"Vendor.icm"] = "vendor bytes";
        calls.associations[MONITOR] = {L"Vendor.icm"};
        wcsModel.systemDefault[MONITOR] = L"Vendor.icm";
    }

    WindowsProfileStore store(ProfileCallsChoice choice) {
        return WindowsProfileStore(calls, std::move(choice), records,
                                   {{L"\\\\.\\DISPLAY1", MONITOR, "Display 1"}, {L"\\\\.\\DISPLAY2", OTHER_MONITOR, "Display 2"}},
                                   temporaryFolder());
    }

    static ProfileDisplay first(WindowsProfileStore& store) {
        std::string error;
        return store.displays(error).value().at(0);
    }

    std::vector<std::wstring> ours() const {
        std::vector<std::wstring> names;
        for (const auto& [name, bytes] : calls.installed) {
            if (name.rfind(L"Veltrane ", 0) == 0) names.push_back(name);
        }
        return names;
    }

    FakeColourCalls calls;
    MemoryInstallRecords records;
};

TEST_F(WindowsProfileStoreTest, TheOlderCallsMakeOursTheDefaultAndUninstallGivesTheVendorsBack) {
    WindowsProfileStore older = store(olderChoice());
    const ProfileDisplay display = first(older);
    EXPECT_EQ(display.outputs, (std::vector<std::string>{"\\\\.\\DISPLAY1"}));
    std::string done;
    std::string error;

    ASSERT_TRUE(older.installAsDefault(display, "first calibration", done, error)) << error;
    ASSERT_EQ(ours().size(), 1u);
    const std::wstring firstName = ours()[0];
    EXPECT_EQ(calls.installed[firstName], "first calibration");
    EXPECT_EQ(calls.associations[MONITOR], (std::vector<std::wstring>{L"Vendor.icm", firstName}));
    EXPECT_TRUE(contains(done, "AssociateColorProfileWithDeviceW")) << done;
    EXPECT_TRUE(contains(done, "because this is Wine")) << done;
    EXPECT_TRUE(contains(done, "Use Windows display calibration")) << done;
    EXPECT_TRUE(calls.associations[OTHER_MONITOR].empty()) << "another display changed";

    std::optional<DefaultProfile> shown;
    ASSERT_TRUE(older.defaultProfile(display, shown, error)) << error;
    ASSERT_TRUE(shown.has_value());
    EXPECT_TRUE(shown->ours);
    EXPECT_EQ(shown->bytes, std::optional<std::string>("first calibration"));
    EXPECT_EQ(shown->title, "description of " + FakeColourCalls::utf8(firstName));

    // Tuned again: the new profile replaces ours, the vendor's stays behind it.
    ASSERT_TRUE(older.installAsDefault(display, "second calibration", done, error)) << error;
    ASSERT_EQ(ours().size(), 1u);
    const std::wstring secondName = ours()[0];
    EXPECT_NE(secondName, firstName);
    EXPECT_EQ(calls.associations[MONITOR], (std::vector<std::wstring>{L"Vendor.icm", secondName}));

    ASSERT_TRUE(older.uninstall(display, done, error)) << error;
    EXPECT_TRUE(ours().empty()) << "our profile's file stays";
    EXPECT_EQ(calls.installed.count(L"Vendor.icm"), 1u) << "someone else's profile went";
    EXPECT_EQ(calls.associations[MONITOR], (std::vector<std::wstring>{L"Vendor.icm"}));
    EXPECT_TRUE(contains(done, "Vendor.icm is its default again")) << done;
    EXPECT_TRUE(records.records.empty());
    ASSERT_TRUE(older.defaultProfile(display, shown, error));
    ASSERT_TRUE(shown.has_value());
    EXPECT_FALSE(shown->ours);
}

TEST_F(WindowsProfileStoreTest, TheWcsCallsMakeOursTheUsersDefaultTurnCalibrationOnAndUninstallPutsAllBack) {
    WindowsProfileStore wcs = store(wcsChoice());
    const ProfileDisplay display = first(wcs);
    std::string done;
    std::string error;

    ASSERT_TRUE(wcs.installAsDefault(display, "calibration", done, error)) << error;
    ASSERT_EQ(ours().size(), 1u);
    const std::wstring name = ours()[0];
    EXPECT_EQ(wcsModel.userAssociations[MONITOR], (std::vector<std::wstring>{name}));
    EXPECT_TRUE(wcsModel.perUser[MONITOR]);
    EXPECT_EQ(wcsModel.userDefault[MONITOR], name);
    EXPECT_TRUE(wcsModel.calibrationOn);
    EXPECT_EQ(wcsModel.systemDefault[MONITOR], L"Vendor.icm") << "the system-wide default is not ours to change";
    EXPECT_TRUE(contains(done, "WcsSetDefaultColorProfile")) << done;
    EXPECT_TRUE(contains(done, "display calibration is now on")) << done;
    EXPECT_EQ(std::count(calls.calls.begin(), calls.calls.end(), "AssociateColorProfileWithDeviceW"), 0);

    ASSERT_TRUE(wcs.uninstall(display, done, error)) << error;
    EXPECT_TRUE(ours().empty());
    EXPECT_TRUE(wcsModel.userAssociations[MONITOR].empty());
    EXPECT_FALSE(wcsModel.perUser[MONITOR]) << "the user's own list was not in use before";
    EXPECT_EQ(wcsModel.userDefault[MONITOR], L"Vendor.icm");
    EXPECT_TRUE(contains(done, "Vendor.icm is its default again")) << done;
}

TEST_F(WindowsProfileStoreTest, AUsersOwnDefaultIsTheOneGivenBack) {
    wcsModel.perUser[MONITOR] = true;
    wcsModel.userDefault[MONITOR] = L"Mine.icm";
    wcsModel.calibrationOn = true;
    WindowsProfileStore wcs = store(wcsChoice());
    const ProfileDisplay display = first(wcs);
    std::string done;
    std::string error;
    ASSERT_TRUE(wcs.installAsDefault(display, "calibration", done, error)) << error;
    EXPECT_TRUE(contains(done, "display calibration is on:")) << done;
    ASSERT_TRUE(wcs.installAsDefault(display, "tuned again", done, error)) << error;
    ASSERT_TRUE(wcs.uninstall(display, done, error)) << error;
    EXPECT_TRUE(wcsModel.perUser[MONITOR]);
    EXPECT_EQ(wcsModel.userDefault[MONITOR], L"Mine.icm");
}

TEST_F(WindowsProfileStoreTest, WithoutAnAdministratorTheUserIsToldHowToTurnCalibrationOn) {
    wcsModel.mayTurnCalibrationOn = false;
    WindowsProfileStore wcs = store(wcsChoice());
    std::string done;
    std::string error;
    ASSERT_TRUE(wcs.installAsDefault(first(wcs), "calibration", done, error)) << error;
    EXPECT_FALSE(wcsModel.calibrationOn);
    EXPECT_TRUE(contains(done, "needs an administrator")) << done;
    EXPECT_TRUE(contains(done, "Use Windows display calibration")) << done;
}

TEST_F(WindowsProfileStoreTest, ARefusalSaysWhyAndChangesNothing) {
    struct Case {
        const char* what;
        DWORD refuseInstall;
        DWORD refuseAssociate;
        const char* said;
    };
    const Case cases[] = {
        {"the colour folder is closed to the user", ERROR_ACCESS_DENIED, ERROR_SUCCESS,
         "Windows refused to install the profile into C:\\windows\\system32\\spool\\drivers\\color"},
        {"the association is refused", ERROR_SUCCESS, ERROR_ACCESS_DENIED,
         "AssociateColorProfileWithDeviceW refused for Display 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls.refuseInstall = c.refuseInstall;
        calls.refuseAssociate = c.refuseAssociate;
        const auto installedBefore = calls.installed;
        WindowsProfileStore older = store(olderChoice());
        std::string done;
        std::string error;
        EXPECT_FALSE(older.installAsDefault(first(older), "calibration", done, error));
        EXPECT_TRUE(contains(error, c.said)) << error;
        EXPECT_TRUE(contains(error, "the default profile of Display 1 is as it was")) << error;
        EXPECT_EQ(calls.installed, installedBefore);
        EXPECT_EQ(calls.associations[MONITOR], (std::vector<std::wstring>{L"Vendor.icm"}));
        EXPECT_TRUE(records.records.empty());
    }
}

TEST_F(WindowsProfileStoreTest, ADisplayIsFoundByItsNumberOrItsDeviceName) {
    WindowsProfileStore older = store(olderChoice());
    const struct {
        const char* name;
        const char* found;  // the display's id, or nothing
    } cases[] = {
        {"1", "\\\\.\\DISPLAY1"}, {"2", "\\\\.\\DISPLAY2"}, {"\\\\.\\display2", "\\\\.\\DISPLAY2"},
        {"DISPLAY1", "\\\\.\\DISPLAY1"}, {"3", nullptr}, {"0", nullptr}, {"Display 1", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        const std::optional<ProfileDisplay> found = older.findDisplay(c.name, error);
        EXPECT_EQ(error, "");
        ASSERT_EQ(found.has_value(), c.found != nullptr);
        if (found) {
            EXPECT_EQ(found->id, c.found);
        }
    }
}

TEST_F(WindowsProfileStoreTest, UninstallWithNothingOfOursChangesNothing) {
    WindowsProfileStore older = store(olderChoice());
    std::string done;
    std::string error;
    EXPECT_TRUE(older.uninstall(first(older), done, error)) << error;
    EXPECT_TRUE(contains(done, "No profile of Veltrane's is installed for Display 1")) << done;
    EXPECT_EQ(calls.associations[MONITOR], (std::vector<std::wstring>{L"Vendor.icm"}));
    EXPECT_EQ(calls.installed.size(), 1u);
}

TEST_F(WindowsProfileStoreTest, AProfileInstalledThroughTheWcsCallsIsNotTakenAwayWithoutThem) {
    WindowsProfileStore wcs = store(wcsChoice());
    std::string done;
    std::string error;
    ASSERT_TRUE(wcs.installAsDefault(first(wcs), "calibration", done, error)) << error;
    WindowsProfileStore older = store(olderChoice());
    EXPECT_FALSE(older.uninstall(first(older), done, error));
    EXPECT_TRUE(contains(error, "cannot be used here: this is Wine")) << error;
    EXPECT_EQ(ours().size(), 1u);
    EXPECT_EQ(records.records.size(), 1u) << "the record is needed once the calls are back";
}

}  // namespace
}  // namespace veltrane::win32
