// The Windows colour system's calls the profile store makes, behind small
// interfaces, so that which calls are used (the per-user Wcs… calls of
// Windows 7 and later, or the older association calls) and what is done
// with their answers can be tested with fakes: under Wine the Wcs… calls end
// the process, and real Windows is not at hand in the tests.
//
// The Wcs… functions are looked up in mscms.dll at run time: two of them
// are missing from mingw-w64's import library, and a system without them
// must still run the tool. Wine is recognised by wine_get_version in ntdll.
//
// Depends on: mscms (GetColorDirectoryW, InstallColorProfileW,
// UninstallColorProfileW, AssociateColorProfileWithDeviceW,
// DisassociateColorProfileFromDeviceW, OpenColorProfileW,
// GetColorProfileElement), gdi32 (CreateDCW, GetICMProfileW), kernel32
// (LoadLibraryW, GetProcAddress, CreateFileW, ReadFile).
#pragma once

#include <windows.h>
#include <icm.h>

#include <functional>
#include <optional>
#include <string>

namespace veltrane::win32 {

// The older calls, present in every Windows since 2000 and in Wine. Each
// returns false with the system's error code in `error` when it fails.
class ColourSystemCalls {
public:
    virtual ~ColourSystemCalls() = default;
    // The folder profiles are installed into (…\spool\drivers\color).
    virtual bool colorDirectory(std::wstring& folder, DWORD& error) = 0;
    // Copies the file at `path` into the colour folder, under its own name.
    virtual bool installProfile(const std::wstring& path, DWORD& error) = 0;
    // Removes the installed profile at `path` (in the colour folder) and its file.
    virtual bool uninstallProfile(const std::wstring& path, DWORD& error) = 0;
    // Profiles are named by their file name in the colour folder; a display
    // by its monitor's device key. The last profile associated with a
    // monitor is its default.
    virtual bool associate(const std::wstring& profileName, const std::wstring& device, DWORD& error) = 0;
    virtual bool disassociate(const std::wstring& profileName, const std::wstring& device, DWORD& error) = 0;
    // The profile that applies to the display now (its full path), as
    // GetICMProfileW tells it for a device context of the display ("\\.\DISPLAY1").
    virtual std::optional<std::wstring> currentProfile(const std::wstring& displayName) = 0;
    // An installed profile's bytes, and its description (the 'desc' tag, as
    // the colour system's own tag reader gives it).
    virtual std::optional<std::string> profileBytes(const std::wstring& path) = 0;
    virtual std::optional<std::string> profileDescription(const std::wstring& path) = 0;
};

// The system's own calls.
ColourSystemCalls& systemColourCalls();

// The per-user calls of Windows 7 and later, as found in mscms.dll.
struct WcsCalls {
    BOOL(WINAPI* associate)(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, PCWSTR) = nullptr;
    BOOL(WINAPI* disassociate)(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, PCWSTR) = nullptr;
    BOOL(WINAPI* getDefaultSize)(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, COLORPROFILETYPE, COLORPROFILESUBTYPE, DWORD,
                                 PDWORD) = nullptr;
    BOOL(WINAPI* getDefault)(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, COLORPROFILETYPE, COLORPROFILESUBTYPE, DWORD, DWORD,
                             LPWSTR) = nullptr;
    BOOL(WINAPI* setDefault)(WCS_PROFILE_MANAGEMENT_SCOPE, PCWSTR, COLORPROFILETYPE, COLORPROFILESUBTYPE, DWORD,
                             LPCWSTR) = nullptr;
    BOOL(WINAPI* getUsePerUser)(LPCWSTR, DWORD, PBOOL) = nullptr;
    BOOL(WINAPI* setUsePerUser)(LPCWSTR, DWORD, BOOL) = nullptr;
    BOOL(WINAPI* getCalibrationState)(BOOL*) = nullptr;
    BOOL(WINAPI* setCalibrationState)(BOOL) = nullptr;
};

// Finds a function of a system library: the address, or nothing.
using ProcedureLookup = std::function<FARPROC(const wchar_t* library, const char* name)>;

// GetProcAddress in the library, loading it when it is not loaded yet.
FARPROC lookUpSystemProcedure(const wchar_t* library, const char* name);

struct ProfileCallsChoice {
    std::optional<WcsCalls> wcs;  // nothing: the older calls
    std::string olderBecause;     // why not the Wcs… calls, for the user
};

// The Wcs… calls where every one of them is there and usable, else the
// older calls and why.
ProfileCallsChoice chooseProfileCalls(const ProcedureLookup& lookup);

}  // namespace veltrane::win32
