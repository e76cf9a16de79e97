// The one way every program here writes a file: the settings save, the PNG
// pages, the exported profiles and calibration files.
//
// What the name holds decides what happens:
// - a regular file, or nothing yet: the bytes go to a temporary file beside
//   it, which is synced and renamed over it, and the folder is synced, so a
//   reader (or a crash) sees the old file or the new one, never a part. A
//   replaced file keeps its permission bits and, where the user may give it,
//   its owner; a new file gets 0666 less the umask.
// - a symbolic link, or a chain of them: the file at the end is written that
//   way and the links stay links; a link to nothing creates the file it names.
// - a FIFO or a character device: the bytes are written straight into it
//   (so /dev/stdout works); it is never replaced. A FIFO that no program
//   opens for reading within FIFO_READER_WAIT_SECONDS is a failure.
// - a folder, a socket, a block device: refused, naming what is there.
// A file the user may not write is refused with "Permission denied", and so
// is a file without any write bit even for a user the system would let
// through (root): it is replaced only once the user removes it.
//
// Every failure leaves what was there as it was and no temporary file, and
// comes back as one sentence: "cannot write PATH: REASON".
// Declarations only, with nothing of any platform: each platform has its own
// implementation (the POSIX one is in platform/posix/).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

inline constexpr int FIFO_READER_WAIT_SECONDS = 2;

struct FileWriteOptions {
    // When set, the written file takes the permission bits (and owner, where
    // the user may give it) of this file instead of its own: a copy kept
    // beside a file is exactly as private as the file it copies.
    std::string accessLike;
};

// True when `bytes` is the whole content of the file at `path`; false, with
// `error` set, when nothing was changed.
bool writeFile(const std::string& path, std::string_view bytes, std::string& error,
               const FileWriteOptions& options = {});

// Files written together, each as writeFile writes it, with one wait for the
// disk for them all instead of one each: add() writes into a FIFO or a device
// at once and leaves a file to replace in its temporary file beside it;
// commit() syncs every temporary file, then renames each over its file in the
// order they were added, then syncs each folder once. A file is replaced
// atomically, as by writeFile: until its rename the old one stands. A file
// added and not committed when the batch ends is not written, and its
// temporary file goes.
class FileBatch {
public:
    FileBatch();
    ~FileBatch();
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    // False, with "cannot write PATH: REASON" in `error`, when the file
    // cannot be written; the files added before it stay added.
    bool add(const std::string& path, std::string_view bytes, std::string& error,
             const FileWriteOptions& options = {});

    // True when every file added is in place. Otherwise `error` names the
    // first one that is not: the files added before it are in place, it and
    // the ones after it are as they were.
    bool commit(std::string& error);

    struct Pending;  // what each platform keeps of a file until commit()

private:
    std::vector<Pending> pending_;
};

// True when `path` leads where this program's standard output goes
// (/dev/stdout, the pipe or terminal it is, the file it was sent to), so a
// tool's "Wrote ..." line would land in the bytes it wrote.
bool isStandardOutput(const std::string& path);

// Whether `fileName` is the form writeFile gives its temporary files for a
// file named `targetName`: ".Orlith.conf.tmp-" and six letters or digits
// for "Orlith.conf".
bool isTemporaryFileName(std::string_view fileName, std::string_view targetName);

// Removes what an interrupted writeFile of `target` left beside it: regular
// files of this user whose names have exactly that form, nothing else.
void removeStaleTemporaryFiles(const std::string& target);

}  // namespace veltrane
