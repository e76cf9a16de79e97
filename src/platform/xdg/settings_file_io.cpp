#include "platform/xdg/settings_file_io.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/file_paths.h"

namespace veltrane {

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
        result.status = FileReadResult::Status::NotRegular;
        result.problem = path + " is " + fileKind(info.st_mode) + ", not a regular file";
    } else if (static_cast<std::uintmax_t>(info.st_size) > sizeLimit) {
        result.problem = path + " is " + std::to_string(info.st_size) + " bytes, more than a settings file can be (" +
                         std::to_string(sizeLimit) + ")";
    } else {
        result.status = FileReadResult::Status::Read;
        result.mode = info.st_mode;
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

}  // namespace veltrane
