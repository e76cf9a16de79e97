// The nine calibration values in a small text file,
// $XDG_CONFIG_HOME/Kardo/Orlith.conf (or ~/.config/Kardo/Orlith.conf).
// Implements the SettingsStore seam over POSIX files. open() follows a
// symbolic link to the file it names, clears away temporary files an
// interrupted save left, creates the folder and an empty file when they are
// missing, and reads only a regular file, noting every line it cannot use.
// close() reads the file again (it may have been edited meanwhile), puts the
// new values into its lines, keeps the previous file as Orlith.conf.bak when
// values change, and writes it through writeFile (platform/file_writing.h),
// so a crash or a full disk leaves either the old file or the new one.
// Depends on settings_file_format for the text, settings_file_io for reading,
// file_writing for writing and the codec for the names it reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "calibration/settings_store.h"
#include "platform/xdg/settings_file_format.h"

namespace veltrane {

// Where the settings live for this user, or nothing when neither
// XDG_CONFIG_HOME nor a home folder is known. A relative XDG_CONFIG_HOME is
// ignored, as the XDG base directory rules ask.
std::optional<std::string> defaultSettingsFilePath();

// The previous file is kept under this name beside the settings file.
std::string backupFilePath(const std::string& target);

struct SettingsFileContents {
    bool readable = false;  // false: `problem` says why (missing, not a regular file, too large)
    ParsedSettings parsed;
    std::string problem;
};

// Reads a settings file without creating anything, for tools that only look.
// Names other than the nine are noted in the diagnostics.
SettingsFileContents readSettingsFile(const std::string& path);

class SettingsFileStore final : public SettingsStore {
public:
    explicit SettingsFileStore(std::string path) : path_(std::move(path)) {}

    bool open() override;
    std::optional<std::int32_t> read(std::string_view name) override;
    void write(std::string_view name, std::int32_t value) override;
    bool close() override;

    const std::string& path() const { return path_; }

    // What the last open() found: every line it could not use.
    const std::vector<SettingsDiagnostic>& diagnostics() const { return diagnostics_; }
    // Why the file was not read although it is there (a FIFO, a folder, a
    // device, too large, unreadable); empty when it was read or is new.
    const std::string& readProblem() const { return readProblem_; }
    // Lines for standard error at start-up, naming the file: the read problem
    // and each diagnostic.
    std::vector<std::string> readWarnings() const;
    // Why the last open() or close() failed, naming the file and the reason
    // ("No space left on device", "Not a directory"); empty after a success.
    const std::string& failure() const { return failure_; }

private:
    bool storeWritten();

    std::string path_;
    std::string target_;  // path_ with its symbolic links followed
    SettingsValues loaded_;
    std::vector<SettingsDiagnostic> diagnostics_;
    std::string readProblem_;
    std::string failure_;
    SettingsWrites written_;
};

}  // namespace veltrane
