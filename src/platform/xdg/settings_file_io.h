// Reading the settings file on POSIX: only a regular file, never blocking on
// a FIFO, with what stands in its place named. Every failure comes back as a
// sentence naming the file and the reason. Writing it goes through
// platform/file_writing.h like every other file.
// Depends on POSIX and the standard library.
#pragma once

#include <cstddef>
#include <string>

#include <sys/types.h>

#include "platform/xdg/settings_file_format.h"

namespace veltrane {

struct FileReadResult {
    enum class Status {
        Read,        // `text` holds the whole file
        Missing,     // there is no such file
        NotRegular,  // a FIFO, a device, a folder...: `problem` says which
        Refused,     // too large or unreadable: `problem` says which
    };
    Status status = Status::Missing;
    std::string text;
    std::string problem;  // "/home/u/.config/Kardo/Orlith.conf is a FIFO, not a regular file"
    mode_t mode = 0;      // the file's type and permission bits, once read
};

// Reads a whole regular file of at most `sizeLimit` bytes. The file is opened
// without blocking (a FIFO with no writer would otherwise wait for ever) and
// looked at before it is read, so a FIFO, a device or a folder is not read.
FileReadResult readRegularFile(const std::string& path, std::size_t sizeLimit = MAX_SETTINGS_FILE_SIZE);

}  // namespace veltrane
