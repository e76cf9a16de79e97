#include "platform/xdg/settings_file_store.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include "calibration/settings_codec.h"
#include "platform/file_writing.h"
#include "platform/posix/file_paths.h"
#include "platform/xdg/settings_file_io.h"

namespace veltrane {
namespace {

std::array<std::string_view, STORED_PARAMETERS.size()> storedNames() {
    std::array<std::string_view, STORED_PARAMETERS.size()> names{};
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = STORED_PARAMETERS[i].name;
    return names;
}

ParsedSettings parseWithStoredNames(std::string_view text) {
    static const auto names = storedNames();
    return parseSettingsText(text, names);
}

// A copy is kept only when the save would change a value the file holds;
// adding missing names or commenting out unusable lines loses nothing.
bool changesAValue(const SettingsValues& old, const SettingsWrites& written) {
    for (const auto& [name, value] : written) {
        const auto found = old.find(name);
        if (found != old.end() && found->second != value) return true;
    }
    return false;
}

// A problem found at the end of a chain of links names the link too, so the
// user recognises the file they know.
std::string throughLink(const std::string& path, const std::string& target, const std::string& problem) {
    return path == target ? problem : path + " (a link): " + problem;
}

}  // namespace

std::optional<std::string> defaultSettingsFilePath() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        return std::string(configHome) + "/Kardo/Orlith.conf";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') return std::nullopt;
    return std::string(home) + "/.config/Kardo/Orlith.conf";
}

std::string backupFilePath(const std::string& target) { return target + ".bak"; }

SettingsFileContents readSettingsFile(const std::string& path) {
    SettingsFileContents contents;
    std::string problem;
    const auto target = followSymbolicLinks(path, problem);
    if (!target) {
        contents.problem = problem;
        return contents;
    }
    FileReadResult file = readRegularFile(*target);
    switch (file.status) {
        case FileReadResult::Status::Missing: contents.problem = path + " does not exist"; break;
        case FileReadResult::Status::NotRegular:
        case FileReadResult::Status::Refused: contents.problem = throughLink(path, *target, file.problem); break;
        case FileReadResult::Status::Read:
            contents.readable = true;
            contents.parsed = parseWithStoredNames(file.text);
            break;
    }
    return contents;
}

bool SettingsFileStore::open() {
    loaded_.clear();
    written_.clear();
    diagnostics_.clear();
    readProblem_.clear();
    failure_.clear();
    if (path_.empty()) {
        failure_ = "there is no place for the settings: neither XDG_CONFIG_HOME nor a home folder is known";
        return false;
    }
    const auto target = followSymbolicLinks(path_, failure_);
    if (!target) return false;
    target_ = *target;

    const std::string folder = folderOf(target_);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        failure_ = "cannot create the folder " + folder + ": " + error.message();
        return false;
    }
    removeStaleTemporaryFiles(target_);

    const FileReadResult file = readRegularFile(target_);
    switch (file.status) {
        case FileReadResult::Status::Read: {
            ParsedSettings parsed = parseWithStoredNames(file.text);
            loaded_ = std::move(parsed.values);
            diagnostics_ = std::move(parsed.diagnostics);
            break;
        }
        case FileReadResult::Status::NotRegular:
        case FileReadResult::Status::Refused:
            // Read as missing. At close() a FIFO or a device is written
            // into as any file the programs write; a file too large or
            // unreadable is left alone.
            readProblem_ = throughLink(path_, target_, file.problem);
            break;
        case FileReadResult::Status::Missing: {
            // Created empty, as a registry key is created on first use; the
            // umask decides its permissions.
            const int fd = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) {
                failure_ = "cannot create " + target_ + ": " + errorText(errno);
                return false;
            }
            if (fd >= 0) ::close(fd);
            break;
        }
    }
    return true;
}

std::vector<std::string> SettingsFileStore::readWarnings() const {
    std::vector<std::string> warnings;
    if (!readProblem_.empty()) warnings.push_back(readProblem_ + "; it is not read, as if it were missing");
    for (const SettingsDiagnostic& diagnostic : diagnostics_) {
        warnings.push_back(path_ + ": " + describeDiagnostic(diagnostic) + "; it is not used");
    }
    return warnings;
}

std::optional<std::int32_t> SettingsFileStore::read(std::string_view name) {
    const auto found = loaded_.find(name);
    if (found == loaded_.end()) return std::nullopt;
    return found->second;
}

void SettingsFileStore::write(std::string_view name, std::int32_t value) {
    written_.emplace_back(std::string(name), value);
}

bool SettingsFileStore::close() {
    if (written_.empty()) return true;
    const bool stored = storeWritten();
    written_.clear();
    return stored;
}

bool SettingsFileStore::storeWritten() {
    // Read again: the file may have been edited while the program ran, and
    // those edits are kept as much as the user's comments are.
    const FileReadResult file = readRegularFile(target_);
    if (file.status == FileReadResult::Status::Refused) {
        failure_ = throughLink(path_, target_, file.problem) + "; it is left as it is";
        return false;
    }
    const bool exists = file.status == FileReadResult::Status::Read;
    const std::string text = rewriteSettingsText(file.text, written_);
    if (exists && text == file.text) return true;

    if (exists && changesAValue(parseWithStoredNames(file.text).values, written_)) {
        // A protected file stops the save before its copy replaces the one
        // kept from the time before.
        if (const std::string refusal = writeRefusal(target_, file.mode); !refusal.empty()) {
            failure_ = "cannot write " + path_ + (path_ == target_ ? "" : " (a link to " + target_ + ")") + ": " + refusal;
            return false;
        }
        if (!writeFile(backupFilePath(target_), file.text, failure_, {.accessLike = target_})) return false;
    }
    return writeFile(path_, text, failure_);
}

}  // namespace veltrane
