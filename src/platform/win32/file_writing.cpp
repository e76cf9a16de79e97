// writeFile on Windows (platform/file_writing.h). What the name holds is
// looked at first: a file that exists is opened, which follows its links,
// and the file at their end is the one replaced; a console, a pipe or a
// device such as NUL is written into. A replacement goes to a hidden
// temporary file beside the target, flushed to the disk, then put in the
// target's place in one step: ReplaceFileW over an existing file, which
// keeps its attributes and permissions, or MoveFileExW with write-through
// for a new one.
//
// Depends on: kernel32 (CreateFileW, WriteFile, FlushFileBuffers,
// ReplaceFileW, MoveFileExW, GetFinalPathNameByHandleW, FindFirstFileW),
// advapi32 (GetNamedSecurityInfoW, SetNamedSecurityInfoW) for accessLike.
#include "platform/file_writing.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

#include "platform/win32/wide_text.h"

namespace veltrane {
namespace {

using win32::systemErrorText;
using win32::utf8FromWide;
using win32::wideFromUtf8;

constexpr std::size_t TEMPORARY_SUFFIX_LENGTH = 6;
constexpr std::string_view SUFFIX_CHARACTERS =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string temporaryPrefix(std::string_view targetName) {
    std::string prefix = ".";
    prefix.append(targetName);
    prefix.append(".tmp-");
    return prefix;
}

std::size_t nameStart(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(L"\\/:");
    return separator == std::wstring_view::npos ? 0 : separator + 1;
}

// The folder part of a path as the user wrote it ("." for a bare name).
std::wstring folderOf(const std::wstring& path) {
    const std::size_t start = nameStart(path);
    if (start == 0) return L".";
    if (start == 1 || (start == 3 && path[1] == L':')) return path.substr(0, start);
    return path.substr(0, start - 1);
}

// "\\?\C:\x" as GetFinalPathNameByHandleW gives it, back to "C:\x".
std::wstring withoutLongPrefix(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void reset(HANDLE handle) {
        close();
        handle_ = handle;
    }
    HANDLE get() const { return handle_; }
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool close() {
        const bool closed = !valid() || CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

std::string reasonFor(DWORD error, const std::wstring& folder) {
    switch (error) {
        case ERROR_PATH_NOT_FOUND: return "the folder " + utf8FromWide(folder) + " does not exist";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return "the disk is full";
        default: return systemErrorText(error);
    }
}

// What a failure says: the name as the caller gave it, and the file at the
// end of its links when that is another.
bool fail(const std::string& path, const std::string& shownTarget, const std::string& reason, std::string& error) {
    error = "cannot write " + path + (shownTarget.empty() ? "" : " (a link to " + shownTarget + ")") + ": " + reason;
    return false;
}

}  // namespace

// A file whose bytes are in its hidden temporary file beside it, still open,
// waiting to be flushed and put in its place.
struct FileBatch::Pending {
    std::string path;         // as the caller named it
    std::string shownTarget;  // the file at the end of the links, when it is not path
    std::string accessLike;
    std::wstring target;
    bool exists = false;
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
};

namespace {

void closeAndRemove(FileBatch::Pending& pending) {
    if (pending.file != INVALID_HANDLE_VALUE) CloseHandle(pending.file);
    pending.file = INVALID_HANDLE_VALUE;
    if (!pending.temporary.empty()) {
        SetFileAttributesW(pending.temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(pending.temporary.c_str());
    }
    pending.temporary.clear();
}

bool abandon(FileBatch::Pending& pending, DWORD error, std::string& message) {
    const std::wstring folder = folderOf(pending.temporary);
    closeAndRemove(pending);
    return fail(pending.path, pending.shownTarget, reasonFor(error, folder), message);
}

// The temporary file's bytes reach the disk; the file stays where it is.
bool flushTemporary(FileBatch::Pending& pending, std::string& message) {
    const bool flushed = FlushFileBuffers(pending.file);
    const DWORD error = GetLastError();
    // Once the bytes are on the disk, a close that fails loses nothing.
    CloseHandle(pending.file);
    pending.file = INVALID_HANDLE_VALUE;
    return flushed || abandon(pending, error, message);
}

// The temporary file takes the permissions (the access list) of `model`.
bool takeAccessOf(const std::wstring& model, std::wstring& temporary, DWORD& error) {
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = GetNamedSecurityInfoW(model.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &access, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) return false;
    error = SetNamedSecurityInfoW(temporary.data(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  access, nullptr);
    LocalFree(descriptor);
    return error == ERROR_SUCCESS;
}

// The replaced file's attributes (hidden, read-only aside) and its
// permissions stay; the temporary file's hidden mark goes with it.
bool putInPlace(FileBatch::Pending& pending, std::string& message) {
    DWORD error = ERROR_SUCCESS;
    if (!pending.accessLike.empty() && !takeAccessOf(wideFromUtf8(pending.accessLike), pending.temporary, error)) {
        return abandon(pending, error, message);
    }
    if (pending.exists && pending.accessLike.empty()) {
        if (ReplaceFileW(pending.target.c_str(), pending.temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr)) {
            pending.temporary.clear();
            return true;
        }
        return abandon(pending, GetLastError(), message);
    }
    SetFileAttributesW(pending.temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExW(pending.temporary.c_str(), pending.target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        pending.temporary.clear();
        return true;
    }
    return abandon(pending, GetLastError(), message);
}

class FileWriter {
public:
    FileWriter(const std::string& path, std::string_view bytes, std::string& error, const FileWriteOptions& options)
        : bytes_(bytes), error_(error) {
        pending_.path = path;
        pending_.accessLike = options.accessLike;
    }

    // Writes into a console, a pipe or a device then and there; a file to
    // replace is left in `pending` (its temporary written, not yet flushed),
    // with an empty temporary name when there is nothing to place.
    bool start(FileBatch::Pending& pending) {
        const std::string& path = pending_.path;
        const std::wstring name = wideFromUtf8(path);
        if (path.empty() || nameStart(name) == name.size()) {
            error_ = "cannot write '" + path + "': not a file name";
            return false;
        }
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return prepareReplacement(name, false, pending);
            if (error == ERROR_PATH_NOT_FOUND) return failWith(reasonFor(error, folderOf(name)));
            // Devices (NUL, CON) and pipes have no attributes to show.
            return writeIntoOrFail(name, error);
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return failWith("it is a folder");
        // Opening follows the links on the way, so what is opened is the file
        // at their end.
        Handle opened(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!opened.valid()) {
            const DWORD error = GetLastError();
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
                return failWith("it is a link to nothing");
            }
            return failWith(systemErrorText(error));
        }
        if (GetFileType(opened.get()) != FILE_TYPE_DISK) return writeInto(name);
        std::wstring target = name;
        std::wstring final(MAX_PATH + 1, L'\0');
        DWORD length = GetFinalPathNameByHandleW(opened.get(), final.data(), static_cast<DWORD>(final.size()), 0);
        if (length >= final.size()) {
            final.assign(length + 1, L'\0');
            length = GetFinalPathNameByHandleW(opened.get(), final.data(), static_cast<DWORD>(final.size()), 0);
        }
        if (length > 0 && length < final.size()) {
            final.resize(length);
            target = withoutLongPrefix(final);
        }
        opened.close();
        const DWORD finalAttributes = GetFileAttributesW(target.c_str());
        if (finalAttributes != INVALID_FILE_ATTRIBUTES && (finalAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return failWith("Permission denied (the file is read-only)");
        }
        if (target != name) pending_.shownTarget = utf8FromWide(target);
        return prepareReplacement(target, true, pending);
    }

private:
    bool failWith(const std::string& reason) { return fail(pending_.path, pending_.shownTarget, reason, error_); }

    bool writeIntoOrFail(const std::wstring& name, DWORD attributesError) {
        Handle device(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        if (!device.valid() || GetFileType(device.get()) == FILE_TYPE_DISK) {
            return failWith(systemErrorText(attributesError));
        }
        device.close();
        return writeInto(name);
    }

    // A console, a pipe or a device holds no file to keep: the bytes go in.
    bool writeInto(const std::wstring& name) {
        Handle device(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        if (!device.valid()) return failWith(systemErrorText(GetLastError()));
        if (!writeAll(device.get(), bytes_)) return failWith(systemErrorText(GetLastError()));
        return device.close() || failWith(systemErrorText(GetLastError()));
    }

    // `target` is a regular file (`exists`) or nothing yet. Leaves its hidden
    // temporary file beside it holding the bytes, still open.
    bool prepareReplacement(const std::wstring& target, bool exists, FileBatch::Pending& pending) {
        pending_.target = target;
        pending_.exists = exists;
        const std::wstring folder = folderOf(target);
        const std::wstring prefix = target.substr(0, nameStart(target)) +
                                    wideFromUtf8(temporaryPrefix(utf8FromWide(target.substr(nameStart(target)))));
        static std::random_device source;
        std::uniform_int_distribution<std::size_t> pick(0, SUFFIX_CHARACTERS.size() - 1);
        Handle file;
        std::wstring temporary;
        DWORD error = ERROR_SUCCESS;
        for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
            temporary = prefix;
            for (std::size_t i = 0; i < TEMPORARY_SUFFIX_LENGTH; ++i) {
                temporary += static_cast<wchar_t>(SUFFIX_CHARACTERS[pick(source)]);
            }
            file.reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                                   nullptr));
            error = GetLastError();
            if (!file.valid() && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
        }
        if (!file.valid()) {
            if (error == ERROR_PATH_NOT_FOUND) return failWith(reasonFor(error, folder));
            return failWith("cannot create a file in the folder " + utf8FromWide(folder) + ": " +
                            reasonFor(error, folder));
        }
        pending_.temporary = temporary;
        pending_.file = file.release();
        if (!writeAll(pending_.file, bytes_)) return abandon(pending_, GetLastError(), error_);
        pending = std::move(pending_);
        return true;
    }

    FileBatch::Pending pending_;
    std::string_view bytes_;
    std::string& error_;
};

std::optional<BY_HANDLE_FILE_INFORMATION> identity(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information)) {
        return std::nullopt;
    }
    return information;
}

}  // namespace

bool writeFile(const std::string& path, std::string_view bytes, std::string& error, const FileWriteOptions& options) {
    FileBatch::Pending pending;
    if (!FileWriter(path, bytes, error, options).start(pending)) return false;
    if (pending.temporary.empty()) return true;  // written into a console, a pipe or a device
    return flushTemporary(pending, error) && putInPlace(pending, error);
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

// Every temporary file is flushed before any is put in place, so a crash
// among the replacements leaves each file whole, old or new.
bool FileBatch::commit(std::string& error) {
    bool committed = true;
    std::size_t flushed = 0;
    while (flushed < pending_.size() && flushTemporary(pending_[flushed], error)) ++flushed;
    if (flushed < pending_.size()) committed = false;
    std::size_t placed = 0;
    while (placed < flushed && putInPlace(pending_[placed], error)) ++placed;
    if (placed < flushed) committed = false;
    for (Pending& pending : pending_) closeAndRemove(pending);
    pending_.clear();
    return committed;
}

bool isStandardOutput(const std::string& path) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const std::wstring name = wideFromUtf8(path);
    if (_wcsicmp(name.c_str(), L"CON") == 0 || _wcsicmp(name.c_str(), L"CONOUT$") == 0) {
        DWORD mode = 0;
        return GetConsoleMode(output, &mode) != 0;
    }
    Handle named(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const auto a = identity(named.get());
    const auto b = identity(output);
    return a && b && a->dwVolumeSerialNumber == b->dwVolumeSerialNumber && a->nFileIndexHigh == b->nFileIndexHigh &&
           a->nFileIndexLow == b->nFileIndexLow;
}

bool isTemporaryFileName(std::string_view name, std::string_view targetName) {
    const std::string prefix = temporaryPrefix(targetName);
    if (name.size() != prefix.size() + TEMPORARY_SUFFIX_LENGTH || !name.starts_with(prefix)) return false;
    const std::string_view suffix = name.substr(prefix.size());
    return std::all_of(suffix.begin(), suffix.end(),
                       [](char c) { return SUFFIX_CHARACTERS.find(c) != std::string_view::npos; });
}

void removeStaleTemporaryFiles(const std::string& target) {
    const std::wstring wideTarget = wideFromUtf8(target);
    const std::wstring folder = wideTarget.substr(0, nameStart(wideTarget));
    const std::string targetName = utf8FromWide(wideTarget.substr(nameStart(wideTarget)));
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + wideFromUtf8(temporaryPrefix(targetName)) + L"*";
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
        if (!isTemporaryFileName(utf8FromWide(found.cFileName), targetName)) continue;
        const std::wstring stale = folder + found.cFileName;
        SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(stale.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace veltrane
