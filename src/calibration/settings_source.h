// The nine values as a tool that only looks at them reads them, from one of
// two places: a settings file named on its command line (the Linux program's
// text, read alike on every platform), or what the program stored for this
// user (its settings file on Linux, its registry key on Windows). Nothing is
// ever created or changed. Each platform's build provides both functions.
#pragma once

#include <string>
#include <vector>

#include "calibration/read_only_settings_store.h"

namespace veltrane {

struct SettingsSource {
    // Where the values came from, for the user: "the settings file
    // /tmp/office.conf", "the registry key HKEY_CURRENT_USER\Software\Kardo\Orlith".
    std::string description;
    // False when the place is there but cannot be used (not a regular file,
    // too large, unreadable): `problem` says why, and no value is taken.
    bool usable = true;
    std::string problem;
    // Each line that cannot be used, naming the file and why; its value counts as missing.
    std::vector<std::string> unusedLines;
    ReadOnlySettingsStore::Values values;  // by stored name, in hundredths
};

// The settings file at `path`; a missing one is not usable.
SettingsSource readSettingsFileSource(const std::string& path);

// What the program stored for this user; when it stored nothing yet, usable
// with no values (all 1.0), and the description says so.
SettingsSource readStoredSettings();

}  // namespace veltrane
