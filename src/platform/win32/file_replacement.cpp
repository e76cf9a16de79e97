#include "platform/win32/file_replacement.h"

#include <windows.h>

#include <random>

#include "platform/win32/wide_text.h"

namespace veltrane::win32 {
namespace {

// The folder part of a path as the user wrote it ("." for a bare name).
std::wstring folderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    if (slash == 0 || (slash == 2 && path[1] == L':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

bool isFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string reasonFor(DWORD error, const std::wstring& target) {
    switch (error) {
        case ERROR_PATH_NOT_FOUND:
            return "the folder " + utf8FromWide(folderOf(target)) + " does not exist";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "the disk is full";
        default:
            return systemErrorText(error);
    }
}

// A new, empty temporary file beside the target, opened for writing.
HANDLE createTemporaryFile(const std::wstring& target, std::wstring& name, DWORD& error) {
    static constexpr wchar_t LETTERS[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;
    std::uniform_int_distribution<std::size_t> pick(0, std::size(LETTERS) - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + L".";
        for (int i = 0; i < 6; ++i) name += LETTERS[pick(entropy)];
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool replaceFileAtomically(const std::string& path, std::string_view bytes, std::string& problem) {
    const std::wstring target = wideFromUtf8(path);
    if (isFolder(target)) {
        problem = path + ": it is a folder";
        return false;
    }
    std::wstring temporary;
    DWORD error = ERROR_SUCCESS;
    const HANDLE file = createTemporaryFile(target, temporary, error);
    if (file == INVALID_HANDLE_VALUE) {
        problem = path + ": " + reasonFor(error, target);
        return false;
    }
    const bool written = writeAll(file, bytes) && FlushFileBuffers(file);
    error = written ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (written && MoveFileExW(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (written) error = GetLastError();
    DeleteFileW(temporary.c_str());
    problem = path + ": " + reasonFor(error, target);
    return false;
}

}  // namespace veltrane::win32
