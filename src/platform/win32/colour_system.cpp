#include "platform/win32/colour_system.h"

#include <cstdint>
#include <cstring>
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

    std::optional<std::string> profileBytes(const std::wstring& path) override {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return std::nullopt;
        std::optional<std::string> bytes;
        LARGE_INTEGER size{};
        // A display profile is some kilobytes; anything past 16 MiB is not one to show.
        if (GetFileSizeEx(file, &size) && size.QuadPart <= (16 << 20)) {
            bytes.emplace(static_cast<std::size_t>(size.QuadPart), '\0');
            DWORD read = 0;
            if (!ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr)) {
                bytes.reset();
            } else {
                bytes->resize(read);
            }
        }
        CloseHandle(file);
        return bytes;
    }
    std::optional<std::string> profileDescription(const std::wstring& path) override {
        PROFILE location{PROFILE_FILENAME, const_cast<wchar_t*>(path.c_str()),
                         static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))};
        const HPROFILE profile = OpenColorProfileW(&location, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
        if (profile == nullptr) return std::nullopt;
        constexpr TAGTYPE DESCRIPTION = 0x64657363;  // 'desc'
        DWORD size = 0;
        BOOL reference = FALSE;
        std::optional<std::string> text;
        GetColorProfileElement(profile, DESCRIPTION, 0, &size, nullptr, &reference);
        std::string element(size, '\0');
        if (size > 12 && GetColorProfileElement(profile, DESCRIPTION, 0, &size, element.data(), &reference)) {
            // A textDescriptionType: 'desc', four reserved bytes, the ASCII
            // length (big-endian, the terminating zero included), the text.
            const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(element[i])); };
            const std::uint32_t count = byte(8) << 24 | byte(9) << 16 | byte(10) << 8 | byte(11);
            if (element.compare(0, 4, "desc") == 0 && count > 0 && count <= size - 12) {
                text = element.substr(12, count);
                text->resize(strnlen(text->c_str(), text->size()));
            }
        }
        CloseColorProfile(profile);
        return text;
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
