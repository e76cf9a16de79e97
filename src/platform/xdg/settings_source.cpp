// The tools' view of the settings on Linux: the settings file, read without
// creating or changing anything, through the same reader the program uses.
#include "calibration/settings_source.h"

#include <filesystem>
#include <system_error>

#include "platform/xdg/settings_file_store.h"

namespace veltrane {

SettingsSource readSettingsFileSource(const std::string& path) {
    SettingsSource source;
    source.description = "the settings file " + path;
    const SettingsFileContents contents = readSettingsFile(path);
    if (!contents.readable) {
        source.usable = false;
        source.problem = contents.problem;
        return source;
    }
    for (const SettingsDiagnostic& diagnostic : contents.parsed.diagnostics) {
        source.unusedLines.push_back(path + ": " + describeDiagnostic(diagnostic));
    }
    source.values = contents.parsed.values;
    return source;
}

SettingsSource readStoredSettings() {
    const std::optional<std::string> stored = defaultSettingsFilePath();
    // A stored file that cannot even be looked at (a folder on the way the
    // user may not enter) is there for all we know: reading it then says why.
    std::error_code error;
    const bool there =
        stored && (std::filesystem::exists(*stored, error) || (error && error != std::errc::no_such_file_or_directory));
    if (!there) {
        SettingsSource none;
        none.description = "no settings file (all values 1.0)";
        return none;
    }
    SettingsSource source = readSettingsFileSource(*stored);
    source.description = "the stored settings " + *stored;
    return source;
}

}  // namespace veltrane
