#include "platform/win32/install_records.h"

#include <windows.h>

#include <utility>

namespace veltrane::win32 {
namespace {

std::optional<std::wstring> readText(HKEY key, const wchar_t* name) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

bool readFlag(HKEY key, const wchar_t* name) {
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && value != 0;
}

bool writeText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool writeFlag(HKEY key, const wchar_t* name, bool flag) {
    const DWORD value = flag ? 1 : 0;
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

}  // namespace

RegistryInstallRecords::RegistryInstallRecords(std::wstring applicationKey)
    : profilesKey_(std::move(applicationKey) + L"\\Profiles") {}

std::optional<InstallRecord> RegistryInstallRecords::read(const std::wstring& display) {
    HKEY key = nullptr;
    const std::wstring path = profilesKey_ + L"\\" + display;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    std::optional<InstallRecord> record;
    if (const auto ours = readText(key, L"Installed"); ours && !ours->empty()) {
        record.emplace();
        record->ourProfile = *ours;
        record->previousDefault = readText(key, L"PreviousDefault").value_or(L"");
        record->previousPerUser = readFlag(key, L"PreviousPerUser");
        record->wcsCalls = readFlag(key, L"WcsCalls");
    }
    RegCloseKey(key);
    return record;
}

bool RegistryInstallRecords::write(const std::wstring& display, const InstallRecord& record) {
    HKEY key = nullptr;
    const std::wstring path = profilesKey_ + L"\\" + display;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool written = writeText(key, L"Installed", record.ourProfile) &&
                         writeText(key, L"PreviousDefault", record.previousDefault) &&
                         writeFlag(key, L"PreviousPerUser", record.previousPerUser) &&
                         writeFlag(key, L"WcsCalls", record.wcsCalls);
    RegCloseKey(key);
    return written;
}

void RegistryInstallRecords::erase(const std::wstring& display) {
    const std::wstring path = profilesKey_ + L"\\" + display;
    RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
    // The Profiles key goes with its last display; RegDeleteKeyW leaves a key that still has subkeys.
    RegDeleteKeyW(HKEY_CURRENT_USER, profilesKey_.c_str());
}

}  // namespace veltrane::win32
