// The settings store over the current user's registry: the application's key
// HKEY_CURRENT_USER\Software\<maker>\<application> (Kardo\Orlith for the
// program), created when missing, holding signed 32-bit REG_DWORD values.
//
// Depends on: advapi32 (RegOpenKeyExA, RegCreateKeyExA, RegQueryValueExA,
// RegSetValueExA, RegCloseKey).
#pragma once

#include <windows.h>

#include <string>

#include "calibration/settings_store.h"

namespace veltrane::win32 {

inline constexpr const char* MAKER_KEY = "Kardo";
inline constexpr const char* APPLICATION_KEY = "Orlith";

class RegistrySettingsStore final : public SettingsStore {
public:
    // The key names are parameters so the tests can work under a key of their own.
    explicit RegistrySettingsStore(std::string makerKey = MAKER_KEY,
                                   std::string applicationKey = APPLICATION_KEY);
    ~RegistrySettingsStore() override;
    RegistrySettingsStore(const RegistrySettingsStore&) = delete;
    RegistrySettingsStore& operator=(const RegistrySettingsStore&) = delete;

    bool open() override;
    // Opens the application's key for reading only, creating nothing: false
    // when it is missing (nothing was stored yet) or cannot be opened.
    bool openExisting();
    // "HKEY_CURRENT_USER\Software\Kardo\Orlith", for the user.
    std::string keyPath() const;
    // A value counts only as a REG_DWORD of exactly 4 bytes; any other type or
    // size is treated as missing.
    std::optional<std::int32_t> read(std::string_view name) override;
    void write(std::string_view name, std::int32_t value) override;
    // Writes go straight to the registry, so closing always succeeds.
    bool close() override;

private:
    HKEY openMakerKey() const;
    HKEY openAppKey(const std::string& subkey) const;

    std::string makerKey_;
    std::string applicationKey_;
    HKEY key_ = nullptr;
};

}  // namespace veltrane::win32
