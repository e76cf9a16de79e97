#include "tools/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane {
namespace {

std::string reason(int error) { return std::strerror(error); }

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    const std::filesystem::path target(path);
    if (path.empty() || !target.has_filename()) {
        error = "cannot write '" + path + "': not a file name";
        return false;
    }
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    // A hidden name beside the target, so the rename stays within one file system.
    std::string hiddenName(".");
    hiddenName.append(target.filename().string());
    hiddenName.append(".XXXXXX");
    std::string temporary = (folder / hiddenName).string();
    std::vector<char> pattern(temporary.begin(), temporary.end());
    pattern.push_back('\0');

    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = "cannot write " + path + ": " + reason(errno);
        return false;
    }
    temporary = pattern.data();

    // mkstemp makes the file private; an exported profile is an ordinary file
    // the desktop's tools must read, so it gets the usual mode under the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int failure = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        error = "cannot write " + path + ": " + reason(failure);
    }
    return ok;
}

}  // namespace veltrane
