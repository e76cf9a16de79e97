// The tools' view of the settings on Windows: the program's registry key,
// opened for reading only, and a settings file in the Linux program's text
// named on the command line.
//
// Depends on: advapi32 (through RegistrySettingsStore), kernel32 (CreateFileW,
// GetFileType, GetFileSizeEx, ReadFile), settings_file_format for the text.
#include "calibration/settings_source.h"

#include <windows.h>

#include <array>

#include "calibration/settings_codec.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/wide_text.h"
#include "platform/xdg/settings_file_format.h"

namespace veltrane {
namespace {

// The whole file, or nothing with the reason in `problem`.
std::optional<std::string> readSmallRegularFile(const std::string& path, std::string& problem) {
    const std::wstring name = win32::wideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        problem = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                      ? path + " does not exist"
                      : "cannot read " + path + ": " + win32::systemErrorText(error);
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        problem = path + " is a folder, not a regular file";
        return std::nullopt;
    }
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = "cannot read " + path + ": " + win32::systemErrorText(GetLastError());
        return std::nullopt;
    }
    std::optional<std::string> text;
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK) {
        problem = path + " is a device or a pipe, not a regular file";
    } else if (!GetFileSizeEx(file, &size)) {
        problem = "cannot read " + path + ": " + win32::systemErrorText(GetLastError());
    } else if (size.QuadPart > static_cast<LONGLONG>(MAX_SETTINGS_FILE_SIZE)) {
        problem = path + " is " + std::to_string(size.QuadPart) + " bytes, more than a settings file can be (" +
                  std::to_string(MAX_SETTINGS_FILE_SIZE) + ")";
    } else {
        text.emplace(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (!ReadFile(file, text->data(), static_cast<DWORD>(text->size()), &read, nullptr)) {
            problem = "cannot read " + path + ": " + win32::systemErrorText(GetLastError());
            text.reset();
        } else {
            text->resize(read);  // it may have shrunk meanwhile
        }
    }
    CloseHandle(file);
    return text;
}

}  // namespace

SettingsSource readSettingsFileSource(const std::string& path) {
    SettingsSource source;
    source.description = "the settings file " + path;
    const std::optional<std::string> text = readSmallRegularFile(path, source.problem);
    if (!text) {
        source.usable = false;
        return source;
    }
    std::array<std::string_view, STORED_PARAMETERS.size()> names{};
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = STORED_PARAMETERS[i].name;
    const ParsedSettings parsed = parseSettingsText(*text, names);
    for (const SettingsDiagnostic& diagnostic : parsed.diagnostics) {
        source.unusedLines.push_back(path + ": " + describeDiagnostic(diagnostic));
    }
    source.values = parsed.values;
    return source;
}

SettingsSource readStoredSettings() {
    win32::RegistrySettingsStore registry;
    SettingsSource source;
    if (!registry.openExisting()) {
        source.description = "no stored settings in the registry (all values 1.0)";
        return source;
    }
    source.description = "the registry key " + registry.keyPath();
    for (const StoredParameter& parameter : STORED_PARAMETERS) {
        if (const auto value = registry.read(parameter.name)) source.values.emplace(parameter.name, *value);
    }
    return source;
}

}  // namespace veltrane
