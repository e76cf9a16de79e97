#include "platform/xdg/settings_file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane {
namespace {

// Linux gives up on a chain of links after 40; so do we.
constexpr int MOST_LINKS_FOLLOWED = 40;
constexpr std::size_t TEMPORARY_SUFFIX_LENGTH = 6;
constexpr std::string_view SUFFIX_CHARACTERS =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

const char* fileKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

// Six small letters may well be a word someone chose ("Orlith.conf.backup"),
// so such a name is never taken for one of ours, and never given to one.
bool isLowerCaseWord(std::string_view suffix) {
    return std::all_of(suffix.begin(), suffix.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

std::string randomSuffix() {
    static std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, SUFFIX_CHARACTERS.size() - 1);
    std::string suffix;
    do {
        suffix.clear();
        for (std::size_t i = 0; i < TEMPORARY_SUFFIX_LENGTH; ++i) suffix += SUFFIX_CHARACTERS[pick(source)];
    } while (isLowerCaseWord(suffix));
    return suffix;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

std::string errorText(int error) { return std::generic_category().message(error); }

std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

FileReadResult readRegularFile(const std::string& path, std::size_t sizeLimit) {
    FileReadResult result;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) return result;
        result.status = FileReadResult::Status::Refused;
        result.problem = "cannot read " + path + ": " + errorText(error);
        return result;
    }
    struct stat info {};
    result.status = FileReadResult::Status::Refused;
    if (fstat(fd, &info) != 0) {
        result.problem = "cannot read " + path + ": " + errorText(errno);
    } else if (!S_ISREG(info.st_mode)) {
        result.problem = path + " is " + fileKind(info.st_mode) + ", not a regular file";
    } else if (static_cast<std::uintmax_t>(info.st_size) > sizeLimit) {
        result.problem = path + " is " + std::to_string(info.st_size) + " bytes, more than a settings file can be (" +
                         std::to_string(sizeLimit) + ")";
    } else {
        result.status = FileReadResult::Status::Read;
        result.ownership = {static_cast<mode_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result.status = FileReadResult::Status::Refused;
                result.problem = "cannot read " + path + ": " + errorText(errno);
                break;
            }
            if (n == 0) break;
            result.text.append(chunk, static_cast<std::size_t>(n));
            if (result.text.size() > sizeLimit) {  // it grew while we read
                result.status = FileReadResult::Status::Refused;
                result.problem = path + " is more than a settings file can be (" + std::to_string(sizeLimit) +
                                 " bytes)";
                break;
            }
        }
    }
    ::close(fd);
    if (result.status != FileReadResult::Status::Read) result.text.clear();
    return result;
}

std::optional<std::string> followSymbolicLinks(const std::string& path, std::string& problem) {
    std::string current = path;
    for (int followed = 0; followed <= MOST_LINKS_FOLLOWED; ++followed) {
        struct stat info {};
        // A missing file (or one we may not look at) is where the chain ends;
        // whatever stands in the way is reported when the file is used.
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::vector<char> target(static_cast<std::size_t>(std::max<off_t>(info.st_size, 255)) + 1);
        const ssize_t length = readlink(current.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
            problem = "cannot follow the link " + current + ": " +
                      errorText(length < 0 ? errno : ENAMETOOLONG);
            return std::nullopt;
        }
        const std::string linkText(target.data(), static_cast<std::size_t>(length));
        current = linkText.starts_with('/') ? linkText : folderOf(current) + "/" + linkText;
    }
    problem = "cannot follow the link " + path + ": " + errorText(ELOOP);
    return std::nullopt;
}

bool replaceFileAtomically(const std::string& target, std::string_view text,
                           const std::optional<FileOwnership>& keep, std::string& problem) {
    const auto fail = [&](const char* step, int error) {
        problem = target + ": " + errorText(error) + " (" + step + ")";
        return false;
    };

    std::string temporary;
    int fd = -1;
    // A new file is created 0666 so that the umask (and a default ACL) decide,
    // as for any file a program creates; an existing file's bits are copied.
    const mode_t createMode = keep ? 0600 : 0666;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + "." + randomSuffix();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
        if (fd < 0 && errno != EEXIST) return fail("creating a temporary file beside it", errno);
    }
    if (fd < 0) return fail("creating a temporary file beside it", EEXIST);

    const auto abandon = [&](const char* step, int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(step, error);
    };
    if (keep) {
        // Only root can give a file away; anyone else keeps the file as theirs.
        struct stat mine {};
        if (fstat(fd, &mine) == 0 && (mine.st_uid != keep->owner || mine.st_gid != keep->group)) {
            if (fchown(fd, keep->owner, keep->group) != 0) {
                // Not ours to change: the data matters more than the owner.
            }
        }
        // After the owner, as a change of owner clears the set-id bits.
        if (fchmod(fd, keep->permissions) != 0) return abandon("setting its permissions", errno);
    }
    if (!writeAll(fd, text)) return abandon("writing the new file", errno);
    if (fsync(fd) != 0) return abandon("syncing the new file to disk", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return fail("writing the new file", error);
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return fail("putting the new file in place", error);
    }
    // The rename itself reaches the disk only with the folder.
    const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        ::close(folder);
    }
    return true;
}

bool isTemporaryFileName(std::string_view name, std::string_view targetName) {
    if (name.size() != targetName.size() + 1 + TEMPORARY_SUFFIX_LENGTH || !name.starts_with(targetName) ||
        name[targetName.size()] != '.') {
        return false;
    }
    const std::string_view suffix = name.substr(targetName.size() + 1);
    return !isLowerCaseWord(suffix) && std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return SUFFIX_CHARACTERS.find(c) != std::string_view::npos; });
}

void removeStaleTemporaryFiles(const std::string& target) {
    const std::string targetName = fileName(target);
    std::error_code error;
    std::filesystem::directory_iterator entries(folderOf(target), error);
    if (error) return;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (!isTemporaryFileName(name, targetName)) continue;
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(entry.path().c_str());
    }
}

}  // namespace veltrane
