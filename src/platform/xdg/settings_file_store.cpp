#include "platform/xdg/settings_file_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane {
namespace {

// A settings file is a few hundred bytes; anything far larger is not ours and
// is treated as unreadable rather than pulled into memory.
constexpr off_t MAX_SETTINGS_FILE_SIZE = 1 << 20;

std::string readWholeFile(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > MAX_SETTINGS_FILE_SIZE) {
        return {};
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        if (n == 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(MAX_SETTINGS_FILE_SIZE)) return {};
    }
    return text;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string parentFolder(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
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

SettingsValues readSettingsFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    const std::string text = readWholeFile(fd);
    ::close(fd);
    return parseSettingsText(text);
}

bool SettingsFileStore::open() {
    loaded_.clear();
    written_.clear();
    std::error_code error;
    std::filesystem::create_directories(parentFolder(path_), error);
    if (error) return false;
    // Created empty when missing, as a registry key is created on first use;
    // an existing file is only read here.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    loaded_ = parseSettingsText(readWholeFile(fd));
    ::close(fd);
    return true;
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
    const bool stored = replaceFile(formatSettingsText(written_));
    written_.clear();
    return stored;
}

bool SettingsFileStore::replaceFile(const std::string& text) const {
    std::string temporary = path_ + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, 0644) == 0 && writeAll(fd, text) && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = std::rename(temporary.c_str(), path_.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk only with the folder.
    const int folder = ::open(parentFolder(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        ::close(folder);
    }
    return true;
}

}  // namespace veltrane
