// The POSIX side of the settings file: reading only regular files without
// ever blocking, following symbolic links to the file they name, replacing a
// file atomically with its permission bits kept, and clearing away the
// temporary files an interrupted replacement leaves behind.
// Every failure comes back as a sentence naming the file and the reason.
// Depends on POSIX and the standard library.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "platform/xdg/settings_file_format.h"

namespace veltrane {

struct FileOwnership {
    mode_t permissions = 0;  // the permission bits, suid/sgid/sticky included
    uid_t owner = 0;
    gid_t group = 0;
};

struct FileReadResult {
    enum class Status {
        Read,     // `text` holds the whole file
        Missing,  // there is no such file
        Refused,  // not a regular file, too large or unreadable: `problem` says which
    };
    Status status = Status::Missing;
    std::string text;
    std::string problem;  // "/home/u/.config/Kardo/Orlith.conf is a FIFO, not a regular file"
    FileOwnership ownership;
};

// Reads a whole regular file of at most `sizeLimit` bytes. The file is opened
// without blocking (a FIFO with no writer would otherwise wait for ever) and
// looked at before it is read, so a FIFO, a device or a folder is refused.
FileReadResult readRegularFile(const std::string& path, std::size_t sizeLimit = MAX_SETTINGS_FILE_SIZE);

// The file a path finally names once every symbolic link on the way (links to
// links, relative targets taken from the link's own folder) is followed; the
// file itself need not exist. Nothing, with `problem` set, for a loop of links
// or a link that cannot be read.
std::optional<std::string> followSymbolicLinks(const std::string& path, std::string& problem);

// Replaces `target` with `text` so that a crash at any moment leaves either the
// old file or the new one: a temporary file beside it ("<name>.XXXXXX"), its
// data synced, renamed over the target, the folder synced. The new file gets
// `keep`'s permission bits (and owner, where allowed), or 0666 less the umask
// when there is nothing to keep. On failure the target is untouched, no
// temporary file remains and `problem` says what went wrong.
bool replaceFileAtomically(const std::string& target, std::string_view text,
                           const std::optional<FileOwnership>& keep, std::string& problem);

// True for the names replaceFileAtomically (and mkstemp before it) gives its
// temporary files for `targetName`: the name, a dot and six letters or digits,
// not all of them small letters (a word such as "backup" is someone's file).
bool isTemporaryFileName(std::string_view fileName, std::string_view targetName);

// Removes the temporary files an interrupted replacement of `target` left in
// its folder. Only regular files with such names go; nothing else is touched.
void removeStaleTemporaryFiles(const std::string& target);

// The folder a path's file lives in ("." for a bare name).
std::string folderOf(const std::string& path);

// errno as text: "Permission denied", "No space left on device".
std::string errorText(int error);

}  // namespace veltrane
