// The nine calibration values in a small text file,
// $XDG_CONFIG_HOME/Kardo/Orlith.conf (or ~/.config/Kardo/Orlith.conf).
// Implements the SettingsStore seam over POSIX files: open() creates the
// folder and an empty file when they are missing and reads the file once;
// close() replaces it atomically (temporary file in the same folder, fsync,
// rename) so a crash or a full disk leaves either the old file or the new one.
// Depends on settings_file_format for the text and on POSIX for the files.
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

// Reads a settings file without creating anything: the values it holds, or an
// empty set when it cannot be read. For tools that only look.
SettingsValues readSettingsFile(const std::string& path);

class SettingsFileStore final : public SettingsStore {
public:
    explicit SettingsFileStore(std::string path) : path_(std::move(path)) {}

    bool open() override;
    std::optional<std::int32_t> read(std::string_view name) override;
    void write(std::string_view name, std::int32_t value) override;
    bool close() override;

    const std::string& path() const { return path_; }

private:
    bool replaceFile(const std::string& text) const;

    std::string path_;
    SettingsValues loaded_;
    std::vector<std::pair<std::string, std::int32_t>> written_;
};

}  // namespace veltrane
