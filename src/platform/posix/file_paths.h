// POSIX helpers for the files the programs read and write: where a chain of
// symbolic links ends, what kind of thing holds a name, whether a file is
// protected from writing, and errno as words.
// Depends on POSIX and the standard library.
#pragma once

#include <optional>
#include <string>

#include <sys/types.h>

namespace veltrane {

// The file a path finally names once every symbolic link on the way (links to
// links, relative targets taken from the link's own folder) is followed; the
// file itself need not exist. Nothing, with `problem` set, for a loop of links
// or a link that cannot be read.
std::optional<std::string> followSymbolicLinks(const std::string& path, std::string& problem);

// The folder a path's file lives in ("." for a bare name).
std::string folderOf(const std::string& path);

// errno as text: "Permission denied", "No space left on device".
std::string errorText(int error);

// What a file of this mode is, for messages: "a FIFO", "a folder", "a socket".
const char* fileKind(mode_t mode);

// Empty when this process may write the file at `path`, whose mode is `mode`;
// otherwise why not ("Permission denied (the file is write-protected)",
// "Read-only file system"). A file without any write bit counts as protected
// even for root, whom the system would let through.
std::string writeRefusal(const std::string& path, mode_t mode);

}  // namespace veltrane
