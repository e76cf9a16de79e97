// writeFile on POSIX: what the name holds is looked at first (through its
// links, as open() would), then the file at the end of the links is replaced
// by a rename, or a FIFO or device is written into.
#include "platform/file_writing.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/file_paths.h"

namespace veltrane {
namespace {

constexpr std::size_t TEMPORARY_SUFFIX_LENGTH = 6;
constexpr std::string_view SUFFIX_CHARACTERS =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A name holds at most 255 bytes; the temporary one adds two dots, "tmp-" and
// six characters to what it keeps of the target's name.
constexpr std::size_t LONGEST_TEMPORARY_STEM = 200;
constexpr auto FIFO_RETRY_INTERVAL = std::chrono::milliseconds(10);

std::string temporaryPrefix(std::string_view targetName) {
    std::string prefix = ".";
    prefix.append(targetName.substr(0, LONGEST_TEMPORARY_STEM));
    prefix.append(".tmp-");
    return prefix;
}

std::string randomSuffix() {
    static std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, SUFFIX_CHARACTERS.size() - 1);
    std::string suffix;
    for (std::size_t i = 0; i < TEMPORARY_SUFFIX_LENGTH; ++i) suffix += SUFFIX_CHARACTERS[pick(source)];
    return suffix;
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

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

// A reader that goes away makes a write raise SIGPIPE, which would end the
// program without a word (the Linux program without saving); while this
// lives the write fails with EPIPE instead and the signal is taken back.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~SigpipeHeld() {
        if (!alreadyPending_) {
            const timespec noWait{};
            while (sigtimedwait(&pipe_, nullptr, &noWait) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t pipe_{};
    sigset_t previous_{};
    bool alreadyPending_ = false;
};

void closeAndRemove(FileBatch::Pending& pending);

// What a failure says: the name as the caller gave it, and the file at the
// end of its links when that is another.
bool fail(const std::string& path, const std::string& shownTarget, const std::string& reason, std::string& error) {
    error = "cannot write " + path + (shownTarget.empty() ? "" : " (a link to " + shownTarget + ")") + ": " + reason;
    return false;
}

}  // namespace

// A file whose bytes are in its temporary file beside it, still open, waiting
// to be synced and renamed over it.
struct FileBatch::Pending {
    std::string path;         // as the caller named it
    std::string shownTarget;  // the file at the end of the links, when it is not path
    std::string target;
    std::string folder;
    std::string temporary;
    int fd = -1;
};

namespace {

void closeAndRemove(FileBatch::Pending& pending) {
    if (pending.fd >= 0) ::close(pending.fd);
    pending.fd = -1;
    if (!pending.temporary.empty()) ::unlink(pending.temporary.c_str());
    pending.temporary.clear();
}

bool abandon(FileBatch::Pending& pending, int error, std::string& message) {
    closeAndRemove(pending);
    return fail(pending.path, pending.shownTarget, errorText(error), message);
}

// The temporary file's bytes reach the disk; the file stays where it is.
bool syncTemporary(FileBatch::Pending& pending, std::string& error) {
    if (fsync(pending.fd) != 0) return abandon(pending, errno, error);
    const int fd = pending.fd;
    pending.fd = -1;
    if (::close(fd) != 0) return abandon(pending, errno, error);
    return true;
}

bool renameIntoPlace(FileBatch::Pending& pending, std::string& error) {
    if (std::rename(pending.temporary.c_str(), pending.target.c_str()) != 0) return abandon(pending, errno, error);
    pending.temporary.clear();
    return true;
}

// The rename reaches the disk with the folder. The new file is in place
// already, so a folder that cannot be synced fails nothing.
void syncFolder(const std::string& folder) {
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        ::close(folderFd);
    }
}

class FileWriter {
public:
    FileWriter(const std::string& path, std::string_view bytes, std::string& error, const FileWriteOptions& options)
        : bytes_(bytes), error_(error), options_(options) {
        pending_.path = path;
    }

    // Writes into a FIFO or a device then and there; a file to replace is
    // left in `pending` (its temporary written, not yet synced), with an empty
    // temporary name when there is nothing to place.
    bool start(FileBatch::Pending& pending) {
        const std::string& path = pending_.path;
        if (path.empty() || !std::filesystem::path(path).has_filename()) {
            error_ = "cannot write '" + path + "': not a file name";
            return false;
        }
        // stat() follows the links as open() will, magic ones such as
        // /dev/stdout -> /proc/self/fd/1 -> pipe:[...] included.
        struct stat seen {};
        if (::stat(path.c_str(), &seen) == 0) {
            if (S_ISFIFO(seen.st_mode) || S_ISCHR(seen.st_mode)) return writeInto(seen.st_mode);
            if (!S_ISREG(seen.st_mode)) return failWith(std::string("it is ") + fileKind(seen.st_mode));
        } else if (errno != ENOENT) {
            return failWith(errorText(errno));
        }
        std::string problem;
        const std::optional<std::string> target = followSymbolicLinks(path, problem);
        if (!target) {
            error_ = "cannot write " + path + ": " + problem;
            return false;
        }
        if (!prepareReplacement(*target)) return false;
        pending = std::move(pending_);
        return true;
    }

private:
    bool failWith(const std::string& reason) { return fail(pending_.path, pending_.shownTarget, reason, error_); }

    // A FIFO or a device holds no file to keep, so the bytes go straight in.
    bool writeInto(mode_t mode) {
        const std::string& path = pending_.path;
        if (const std::string refusal = writeRefusal(path, mode); !refusal.empty()) return failWith(refusal);
        // Without O_NONBLOCK opening a FIFO waits for a reader for ever (and
        // a terminal for its carrier); with it, a FIFO without a reader says
        // ENXIO at once, so the reader gets a little while to come.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(FIFO_READER_WAIT_SECONDS);
        int fd = -1;
        for (;;) {
            fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd >= 0 || errno != ENXIO || !S_ISFIFO(mode)) break;
            if (std::chrono::steady_clock::now() >= deadline) {
                return failWith("no program opened the FIFO for reading within " +
                                std::to_string(FIFO_READER_WAIT_SECONDS) + " seconds");
            }
            std::this_thread::sleep_for(FIFO_RETRY_INTERVAL);
        }
        if (fd < 0) return failWith(errorText(errno));
        struct stat opened {};
        if (fstat(fd, &opened) != 0 || !(S_ISFIFO(opened.st_mode) || S_ISCHR(opened.st_mode))) {
            ::close(fd);  // something else took the name meanwhile; it is not written into
            return failWith("it changed while it was being opened");
        }
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);  // a slow reader is waited for
        bool written = false;
        int writeError = 0;
        {
            const SigpipeHeld held;
            written = writeAll(fd, bytes_);
            writeError = errno;
        }
        if (::close(fd) != 0 && written) {
            written = false;
            writeError = errno;
        }
        return written || failWith(errorText(writeError));
    }

    // `target` is the path with its links followed: a regular file or nothing.
    // Leaves its temporary file beside it holding the bytes, still open.
    bool prepareReplacement(const std::string& target) {
        pending_.target = target;
        if (target != pending_.path) pending_.shownTarget = target;
        struct stat old {};
        const bool exists = ::lstat(target.c_str(), &old) == 0;
        if (!exists && errno != ENOENT) return failWith(errorText(errno));
        if (exists && !S_ISREG(old.st_mode)) return failWith(std::string("it is ") + fileKind(old.st_mode));
        if (exists) {
            if (const std::string refusal = writeRefusal(target, old.st_mode); !refusal.empty()) {
                return failWith(refusal);
            }
        }
        // Whose permission bits and owner the new file takes: the model's, the
        // old file's, or none for a new file.
        std::optional<struct stat> keep;
        if (!options_.accessLike.empty()) {
            struct stat model {};
            if (::stat(options_.accessLike.c_str(), &model) != 0) {
                return failWith("cannot read the permissions of " + options_.accessLike + ": " + errorText(errno));
            }
            keep = model;
        } else if (exists) {
            keep = old;
        }

        pending_.folder = folderOf(target);
        const std::string prefix =
            (std::filesystem::path(pending_.folder) / temporaryPrefix(fileName(target))).string();
        // A new file is created 0666 so that the umask (and a default ACL)
        // decide, as for any file a program creates; kept bits come later.
        const mode_t createMode = keep ? 0600 : 0666;
        int fd = -1;
        std::string temporary;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary = prefix + randomSuffix();
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) return failWith("cannot create a file in the folder " + pending_.folder + ": " + errorText(errno));
        pending_.temporary = temporary;
        pending_.fd = fd;
        if (keep) {
            // Only root may give a file away; anyone else at least keeps the
            // group where they belong to it. The data matters more than either.
            const bool ownerKept = fchown(fd, keep->st_uid, keep->st_gid) == 0;
            if (!ownerKept && fchown(fd, static_cast<uid_t>(-1), keep->st_gid) != 0) {
                // Neither is ours to give.
            }
            // After the owner, as a change of owner clears the set-id bits.
            if (fchmod(fd, keep->st_mode & 0777) != 0) return abandon(pending_, errno, error_);
        }
        if (!writeAll(fd, bytes_)) return abandon(pending_, errno, error_);
        return true;
    }

    FileBatch::Pending pending_;
    std::string_view bytes_;
    std::string& error_;
    const FileWriteOptions& options_;
};

}  // namespace

bool writeFile(const std::string& path, std::string_view bytes, std::string& error, const FileWriteOptions& options) {
    FileBatch::Pending pending;
    if (!FileWriter(path, bytes, error, options).start(pending)) return false;
    if (pending.temporary.empty()) return true;  // written into a FIFO or device
    if (!syncTemporary(pending, error) || !renameIntoPlace(pending, error)) return false;
    syncFolder(pending.folder);
    return true;
}

FileBatch::FileBatch() = default;

FileBatch::~FileBatch() {
    for (Pending& pending : pending_) closeAndRemove(pending);
}

bool FileBatch::add(const std::string& path, std::string_view bytes, std::string& error,
                    const FileWriteOptions& options) {
    Pending pending;
    if (!FileWriter(path, bytes, error, options).start(pending)) return false;
    if (!pending.temporary.empty()) pending_.push_back(std::move(pending));
    return true;
}

// Every temporary file is synced before any is renamed, so a crash among the
// renames leaves each file whole, old or new; the folders follow once each.
bool FileBatch::commit(std::string& error) {
    bool committed = true;
    std::size_t synced = 0;
    while (synced < pending_.size() && syncTemporary(pending_[synced], error)) ++synced;
    if (synced < pending_.size()) committed = false;
    std::size_t placed = 0;
    while (placed < synced && renameIntoPlace(pending_[placed], error)) ++placed;
    if (placed < synced) committed = false;
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < placed; ++i) {
        if (std::find(folders.begin(), folders.end(), pending_[i].folder) == folders.end()) {
            folders.push_back(pending_[i].folder);
        }
    }
    for (const std::string& folder : folders) syncFolder(folder);
    for (Pending& pending : pending_) closeAndRemove(pending);
    pending_.clear();
    return committed;
}

bool isStandardOutput(const std::string& path) {
    struct stat named {};
    struct stat output {};
    return ::stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &output) == 0 && named.st_dev == output.st_dev &&
           named.st_ino == output.st_ino;
}

bool isTemporaryFileName(std::string_view name, std::string_view targetName) {
    const std::string prefix = temporaryPrefix(targetName);
    if (name.size() != prefix.size() + TEMPORARY_SUFFIX_LENGTH || !name.starts_with(prefix)) return false;
    const std::string_view suffix = name.substr(prefix.size());
    return std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return SUFFIX_CHARACTERS.find(c) != std::string_view::npos; });
}

void removeStaleTemporaryFiles(const std::string& target) {
    const std::string targetName = fileName(target);
    std::error_code error;
    std::filesystem::directory_iterator entries(folderOf(target), error);
    if (error) return;
    const uid_t me = geteuid();
    for (const auto& entry : entries) {
        if (!isTemporaryFileName(entry.path().filename().string(), targetName)) continue;
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == me) {
            ::unlink(entry.path().c_str());
        }
    }
}

}  // namespace veltrane
