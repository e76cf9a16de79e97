#include "platform/win32/colour_system.h"

#include <vector>

namespace veltrane::win32 {
namespace {

class SystemColourCalls final : public ColourSystemCalls {
public:
    bool colorDirectory(std::wstring& folder, DWORD& error) override {
        DWORD size = 0;
        GetColorDirectoryW(nullptr, nullptr, &size);
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (!GetColorDirectoryW(nullptr, buffer.data(), &size)) return failed(error);
        folder = buffer.data();
        return true;
    }
    bool installProfile(const std::wstring& path, DWORD& error) override {
        return InstallColorProfileW(nullptr, path.c_str()) || failed(error);
    }
    bool uninstallProfile(const std::wstring& path, DWORD& error) override {
        return UninstallColorProfileW(nullptr, path.c_str(), TRUE) || failed(error);
    }
    bool associate(const std::wstring& profileName, const std::wstring& device, DWORD& error) override {
        return AssociateColorProfileWithDeviceW(nullptr, profileName.c_str(), device.c_str()) || failed(error);
    }
    bool disassociate(const std::wstring& profileName, const std::wstring& device, DWORD& error) override {
        return DisassociateColorProfileFromDeviceW(nullptr, profileName.c_str(), device.c_str()) || failed(error);
    }
    std::optional<std::wstring> currentProfile(const std::wstring& displayName) override {
        const HDC dc = CreateDCW(displayName.c_str(), nullptr, nullptr, nullptr);
        if (dc == nullptr) return std::nullopt;
        std::vector<wchar_t> name(MAX_PATH + 1, L'\0');
        DWORD size = static_cast<DWORD>(name.size());
        BOOL found = GetICMProfileW(dc, &size, name.data());
        if (!found && size > name.size()) {
            name.assign(size + 1, L'\0');
            found = GetICMProfileW(dc, &size, name.data());
        }
        DeleteDC(dc);
        if (!found) return std::nullopt;
        return std::wstring(name.data());
    }

private:
    static bool failed(DWORD& error) {
        error = GetLastError();
        return false;
    }
};

template <typename Function>
bool find(const ProcedureLookup& lookup, const char* name, Function& function, std::string& missing) {
    const FARPROC address = lookup(L"mscms.dll", name);
    if (address == nullptr) {
        missing += (missing.empty() ? "" : ", ") + std::string(name);
        return false;
    }
    // Through the generic function pointer type, which converts to any other
    // function pointer type without a warning.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    return true;
}

}  // namespace

ColourSystemCalls& systemColourCalls() {
    static SystemColourCalls calls;
    return calls;
}

FARPROC lookUpSystemProcedure(const wchar_t* library, const char* name) {
    HMODULE module = GetModuleHandleW(library);
    if (module == nullptr) module = LoadLibraryW(library);
    return module == nullptr ? nullptr : GetProcAddress(module, name);
}

ProfileCallsChoice chooseProfileCalls(const ProcedureLookup& lookup) {
    ProfileCallsChoice choice;
    if (lookup(L"ntdll.dll", "wine_get_version") != nullptr) {
        choice.olderBecause = "this is Wine, whose Wcs\xE2\x80\xA6 functions end the process";
        return choice;
    }
    WcsCalls wcs;
    std::string missing;
    // Every one is looked up, so the message names all that are missing.
    find(lookup, "WcsAssociateColorProfileWithDevice", wcs.associate, missing);
    find(lookup, "WcsDisassociateColorProfileFromDevice", wcs.disassociate, missing);
    find(lookup, "WcsGetDefaultColorProfileSize", wcs.getDefaultSize, missing);
    find(lookup, "WcsGetDefaultColorProfile", wcs.getDefault, missing);
    find(lookup, "WcsSetDefaultColorProfile", wcs.setDefault, missing);
    find(lookup, "WcsGetUsePerUserProfiles", wcs.getUsePerUser, missing);
    find(lookup, "WcsSetUsePerUserProfiles", wcs.setUsePerUser, missing);
    find(lookup, "WcsGetCalibrationManagementState", wcs.getCalibrationState, missing);
    find(lookup, "WcsSetCalibrationManagementState", wcs.setCalibrationState, missing);
    if (!missing.empty()) {
        choice.olderBecause = "this Windows's mscms.dll lacks " + missing;
        return choice;
    }
    choice.wcs = wcs;
    return choice;
}

}  // namespace veltrane::win32
