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

class FileWriter {
public:
    FileWriter(const std::string& path, std::string_view bytes, std::string& error, const FileWriteOptions& options)
        : path_(path), bytes_(bytes), error_(error), options_(options) {}

    bool write() {
        if (path_.empty() || !std::filesystem::path(path_).has_filename()) {
            error_ = "cannot write '" + path_ + "': not a file name";
            return false;
        }
        // stat() follows the links as open() will, magic ones such as
        // /dev/stdout -> /proc/self/fd/1 -> pipe:[...] included.
        struct stat seen {};
        if (::stat(path_.c_str(), &seen) == 0) {
            if (S_ISFIFO(seen.st_mode) || S_ISCHR(seen.st_mode)) return writeInto(seen.st_mode);
            if (!S_ISREG(seen.st_mode)) return fail(std::string("it is ") + fileKind(seen.st_mode));
        } else if (errno != ENOENT) {
            return fail(errorText(errno));
        }
        std::string problem;
        const std::optional<std::string> target = followSymbolicLinks(path_, problem);
        if (!target) {
            error_ = "cannot write " + path_ + ": " + problem;
            return false;
        }
        return replace(*target);
    }

private:
    bool fail(const std::string& reason) {
        error_ = "cannot write " + path_ + (shownTarget_.empty() ? "" : " (a link to " + shownTarget_ + ")") +
                 ": " + reason;
        return false;
    }

    // A FIFO or a device holds no file to keep, so the bytes go straight in.
    bool writeInto(mode_t mode) {
        if (const std::string refusal = writeRefusal(path_, mode); !refusal.empty()) return fail(refusal);
        // Without O_NONBLOCK opening a FIFO waits for a reader for ever (and
        // a terminal for its carrier); with it, a FIFO without a reader says
        // ENXIO at once, so the reader gets a little while to come.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(FIFO_READER_WAIT_SECONDS);
        int fd = -1;
        for (;;) {
            fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd >= 0 || errno != ENXIO || !S_ISFIFO(mode)) break;
            if (std::chrono::steady_clock::now() >= deadline) {
                return fail("no program opened the FIFO for reading within " +
                            std::to_string(FIFO_READER_WAIT_SECONDS) + " seconds");
            }
            std::this_thread::sleep_for(FIFO_RETRY_INTERVAL);
        }
        if (fd < 0) return fail(errorText(errno));
        struct stat opened {};
        if (fstat(fd, &opened) != 0 || !(S_ISFIFO(opened.st_mode) || S_ISCHR(opened.st_mode))) {
            ::close(fd);  // something else took the name meanwhile; it is not written into
            return fail("it changed while it was being opened");
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
        return written || fail(errorText(writeError));
    }

    // `target` is the path with its links followed: a regular file or nothing.
    bool replace(const std::string& target) {
        if (target != path_) shownTarget_ = target;
        struct stat old {};
        const bool exists = ::lstat(target.c_str(), &old) == 0;
        if (!exists && errno != ENOENT) return fail(errorText(errno));
        if (exists && !S_ISREG(old.st_mode)) return fail(std::string("it is ") + fileKind(old.st_mode));
        if (exists) {
            if (const std::string refusal = writeRefusal(target, old.st_mode); !refusal.empty()) return fail(refusal);
        }
        // Whose permission bits and owner the new file takes: the model's, the
        // old file's, or none for a new file.
        std::optional<struct stat> keep;
        if (!options_.accessLike.empty()) {
            struct stat model {};
            if (::stat(options_.accessLike.c_str(), &model) != 0) {
                return fail("cannot read the permissions of " + options_.accessLike + ": " + errorText(errno));
            }
            keep = model;
        } else if (exists) {
            keep = old;
        }

        const std::string folder = folderOf(target);
        const std::string prefix = (std::filesystem::path(folder) / temporaryPrefix(fileName(target))).string();
        // A new file is created 0666 so that the umask (and a default ACL)
        // decide, as for any file a program creates; kept bits come later.
        const mode_t createMode = keep ? 0600 : 0666;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temporary_ = prefix + randomSuffix();
            fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) return fail("cannot create a file in the folder " + folder + ": " + errorText(errno));
        if (keep) {
            // Only root may give a file away; anyone else at least keeps the
            // group where they belong to it. The data matters more than either.
            const bool ownerKept = fchown(fd, keep->st_uid, keep->st_gid) == 0;
            if (!ownerKept && fchown(fd, static_cast<uid_t>(-1), keep->st_gid) != 0) {
                // Neither is ours to give.
            }
            // After the owner, as a change of owner clears the set-id bits.
            if (fchmod(fd, keep->st_mode & 0777) != 0) return abandon(fd, errno);
        }
        if (!writeAll(fd, bytes_) || fsync(fd) != 0) return abandon(fd, errno);
        if (::close(fd) != 0) return abandon(-1, errno);
        if (std::rename(temporary_.c_str(), target.c_str()) != 0) return abandon(-1, errno);
        // The rename reaches the disk with the folder. The new file is in
        // place already, so a folder that cannot be synced fails nothing.
        const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd >= 0) {
            fsync(folderFd);
            ::close(folderFd);
        }
        return true;
    }

    bool abandon(int fd, int error) {
        if (fd >= 0) ::close(fd);
        ::unlink(temporary_.c_str());
        return fail(errorText(error));
    }

    const std::string& path_;
    std::string_view bytes_;
    std::string& error_;
    const FileWriteOptions& options_;
    std::string shownTarget_;  // the file at the end of the links, when it is not path_
    std::string temporary_;
};

}  // namespace

bool writeFile(const std::string& path, std::string_view bytes, std::string& error, const FileWriteOptions& options) {
    return FileWriter(path, bytes, error, options).write();
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
