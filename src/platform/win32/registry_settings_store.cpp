// Registry access for the calibration values.
#include "platform/win32/registry_settings_store.h"

#include <cstring>
#include <utility>

namespace veltrane::win32 {
namespace {

HKEY createOrOpenSubkey(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(std::string makerKey, std::string applicationKey)
    : makerKey_(std::move(makerKey)), applicationKey_(std::move(applicationKey)) {}

RegistrySettingsStore::~RegistrySettingsStore() { close(); }

HKEY RegistrySettingsStore::openMakerKey() const {
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &software) != ERROR_SUCCESS) {
        return nullptr;
    }
    const HKEY maker = createOrOpenSubkey(software, makerKey_.c_str());
    RegCloseKey(software);
    return maker;
}

HKEY RegistrySettingsStore::openAppKey(const std::string& subkey) const {
    const HKEY maker = openMakerKey();
    if (subkey.empty() || maker == nullptr) return maker;
    const HKEY application = createOrOpenSubkey(maker, subkey.c_str());
    RegCloseKey(maker);
    return application;
}

bool RegistrySettingsStore::open() {
    close();
    key_ = openAppKey(applicationKey_);
    return key_ != nullptr;
}

bool RegistrySettingsStore::openExisting() {
    close();
    const std::string subkey = "Software\\" + makerKey_ + "\\" + applicationKey_;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    return key_ != nullptr;
}

std::string RegistrySettingsStore::keyPath() const {
    return "HKEY_CURRENT_USER\\Software\\" + makerKey_ + "\\" + applicationKey_;
}

std::optional<std::int32_t> RegistrySettingsStore::read(std::string_view name) {
    if (key_ == nullptr) return std::nullopt;
    const std::string valueName(name);
    DWORD type = REG_NONE;
    BYTE data[4] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExA(key_, valueName.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data) {
        return std::nullopt;
    }
    // A REG_DWORD is little-endian; the value is a signed percentage.
    const std::uint32_t bits = static_cast<std::uint32_t>(data[0]) |
                               static_cast<std::uint32_t>(data[1]) << 8 |
                               static_cast<std::uint32_t>(data[2]) << 16 |
                               static_cast<std::uint32_t>(data[3]) << 24;
    std::int32_t value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void RegistrySettingsStore::write(std::string_view name, std::int32_t value) {
    if (key_ == nullptr) return;
    const std::string valueName(name);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8),
                          static_cast<BYTE>(bits >> 16), static_cast<BYTE>(bits >> 24)};
    RegSetValueExA(key_, valueName.c_str(), 0, REG_DWORD, data, sizeof data);
}

bool RegistrySettingsStore::close() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
    return true;
}

}  // namespace veltrane::win32
