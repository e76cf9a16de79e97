// Which of the colour system's calls the profile store uses: the per-user
// Wcs… calls where every one is there and this is Windows, else the older
// association calls, with the reason. Fakes stand in for mscms.dll and
// ntdll.dll, since Wine has every Wcs… function but ends the process in
// them; the last case asks the real system, which here is Wine.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "platform/win32/colour_system.h"

namespace veltrane::win32 {
namespace {

BOOL WINAPI fakeAssociate(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, PCWSTR) { return TRUE; }
BOOL WINAPI fakeDisassociate(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, PCWSTR) { return TRUE; }
BOOL WINAPI fakeGetDefaultSize(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, COLORPROFILETYPE, COLORPROFILESUBTYPE, DWORD,
                               PDWORD) {
    return TRUE;
}
BOOL WINAPI fakeGetDefault(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, COLORPROFILETYPE, COLORPROFILESUBTYPE, DWORD, DWORD,
                           LPWSTR) {
    return TRUE;
}
BOOL WINAPI fakeSetDefault(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, COLORPROFILETYPE, COLORPROFILESUBTYPE, DWORD,
                           LPCWSTR) {
    return TRUE;
}
BOOL WINAPI fakeGetUsePerUser(LPCWSTR, DWORD, PBOOL) { return TRUE; }
BOOL WINAPI fakeSetUsePerUser(LPCWSTR, DWORD, BOOL) { return TRUE; }
BOOL WINAPI fakeGetCalibrationState(BOOL*) { return TRUE; }
BOOL WINAPI fakeSetCalibrationState(BOOL) { return TRUE; }
const char* WINAPI fakeWineVersion() { return "8.0"; }

template <typename Function>
FARPROC address(Function function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const std::map<std::string, FARPROC>& wcsFunctions() {
    static const std::map<std::string, FARPROC> functions = {
        {"WcsAssociateColorProfileWithDevice", address(fakeAssociate)},
        {"WcsDisassociateColorProfileFromDevice", address(fakeDisassociate)},
        {"WcsGetDefaultColorProfileSize", address(fakeGetDefaultSize)},
        {"WcsGetDefaultColorProfile", address(fakeGetDefault)},
        {"WcsSetDefaultColorProfile", address(fakeSetDefault)},
        {"WcsGetUsePerUserProfiles", address(fakeGetUsePerUser)},
        {"WcsSetUsePerUserProfiles", address(fakeSetUsePerUser)},
        {"WcsGetCalibrationManagementState", address(fakeGetCalibrationState)},
        {"WcsSetCalibrationManagementState", address(fakeSetCalibrationState)},
    };
    return functions;
}

// A system whose mscms.dll lacks `missing`, and which is Wine when `wine`.
ProcedureLookup system(std::set<std::string> missing, bool wine) {
    return [missing, wine](const wchar_t* library, const char* name) -> FARPROC {
        const std::wstring module = library;
        if (module == L"ntdll.dll") return wine && std::string(name) == "wine_get_version" ? address(fakeWineVersion) : nullptr;
        if (module != L"mscms.dll" || missing.count(name) != 0) return nullptr;
        const auto found = wcsFunctions().find(name);
        return found == wcsFunctions().end() ? nullptr : found->second;
    };
}

TEST(ProfileCallsChoice, WindowsWithEveryWcsFunctionGetsTheWcsCalls) {
    const ProfileCallsChoice choice = chooseProfileCalls(system({}, false));
    ASSERT_TRUE(choice.wcs.has_value()) << choice.olderBecause;
    EXPECT_EQ(choice.wcs->associate, fakeAssociate);
    EXPECT_EQ(choice.wcs->disassociate, fakeDisassociate);
    EXPECT_EQ(choice.wcs->getDefaultSize, fakeGetDefaultSize);
    EXPECT_EQ(choice.wcs->getDefault, fakeGetDefault);
    EXPECT_EQ(choice.wcs->setDefault, fakeSetDefault);
    EXPECT_EQ(choice.wcs->getUsePerUser, fakeGetUsePerUser);
    EXPECT_EQ(choice.wcs->setUsePerUser, fakeSetUsePerUser);
    EXPECT_EQ(choice.wcs->getCalibrationState, fakeGetCalibrationState);
    EXPECT_EQ(choice.wcs->setCalibrationState, fakeSetCalibrationState);
}

TEST(ProfileCallsChoice, OtherwiseTheOlderCallsAndWhy) {
    struct Case {
        const char* what;
        std::set<std::string> missing;
        bool wine;
        std::string reason;
    };
    const Case cases[] = {
        {"Wine, though every Wcs function is exported", {}, true, "this is Wine"},
        {"Wine without them", {"WcsGetCalibrationManagementState"}, true, "this is Wine"},
        {"an mscms.dll without the calibration state",
         {"WcsGetCalibrationManagementState", "WcsSetCalibrationManagementState"},
         false,
         "lacks WcsGetCalibrationManagementState, WcsSetCalibrationManagementState"},
        {"one per-user call missing", {"WcsSetUsePerUserProfiles"}, false, "lacks WcsSetUsePerUserProfiles"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProfileCallsChoice choice = chooseProfileCalls(system(c.missing, c.wine));
        EXPECT_FALSE(choice.wcs.has_value());
        EXPECT_NE(choice.olderBecause.find(c.reason), std::string::npos) << choice.olderBecause;
    }
}

TEST(ProfileCallsChoice, TheRealSystemHereIsWineAndGetsTheOlderCalls) {
    const ProfileCallsChoice choice = chooseProfileCalls(lookUpSystemProcedure);
    EXPECT_FALSE(choice.wcs.has_value());
    EXPECT_NE(choice.olderBecause.find("this is Wine"), std::string::npos) << choice.olderBecause;
}

}  // namespace
}  // namespace veltrane::win32
