#include "platform/posix/file_paths.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane {
namespace {

// Linux gives up on a chain of links after 40; so do we.
constexpr int MOST_LINKS_FOLLOWED = 40;

}  // namespace

std::string errorText(int error) { return std::generic_category().message(error); }

std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

const char* fileKind(mode_t mode) {
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a file";
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

std::string writeRefusal(const std::string& path, mode_t mode) {
    // The effective ids decide, as they do for open(); access(2) alone would
    // ask about the real ones.
    int refusal = faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 ? errno : 0;
    // access(2) says yes to root for any file; a file nobody may write is
    // someone's decision, and a replacement would silently undo it.
    if (refusal == 0 && (mode & 0222) == 0) refusal = EACCES;
    if (refusal == 0) return {};
    return errorText(refusal) + (refusal == EACCES ? " (the file is write-protected)" : "");
}

}  // namespace veltrane
