#include "tools/png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace veltrane {
namespace {

// Where the bytes go. A regular file (or nothing yet) is replaced by renaming
// a finished temporary file over it; anything else is written into directly.
struct WriteTarget {
    std::string path;  // links resolved when replacing an existing file
    bool replaceByRename = true;
    mode_t mode = 0;   // permission bits the finished file gets
};

// Glibc keeps a name to 255 bytes; the temporary name adds a dot and seven.
constexpr std::size_t LONGEST_TEMPORARY_STEM = 200;

std::string reasonOf(int error) { return std::strerror(error); }

mode_t currentUmask() {
    // The umask can only be read by setting it; the exporter has one thread.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

bool resolveTarget(const std::string& path, WriteTarget& target, std::string& error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT) {
            error = reasonOf(errno);
            return false;
        }
        target = {path, true, static_cast<mode_t>(0666 & ~currentUmask())};
        return true;
    }
    if (S_ISDIR(status.st_mode)) {
        error = "a folder of that name is in the way";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        target = {path, false, 0};
        return true;
    }
    // Renaming replaces whatever holds the name, so a write-protected file
    // would lose its protection without this check.
    if (::access(path.c_str(), W_OK) != 0) {
        error = reasonOf(errno);
        return false;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        error = reasonOf(errno);
        return false;
    }
    target = {resolved, true, static_cast<mode_t>(status.st_mode & 0777)};
    std::free(resolved);
    return true;
}

// Everything one write holds; whatever is still held when it ends (after a
// failure) is released, and an unfinished temporary file is removed.
struct PngFile {
    std::FILE* file = nullptr;
    std::string temporaryPath;
    int writeErrno = 0;  // why the last write to `file` failed
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        if (file != nullptr) std::fclose(file);
        if (!temporaryPath.empty()) ::unlink(temporaryPath.c_str());
    }
};

void reportPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message;
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

// libpng's own writer says only "Write Error"; this one keeps the system's
// reason (a full disk, a file size limit) for the message.
void writePngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<PngFile*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, out->file) != length) {
        out->writeErrno = errno;
        png_error(png, "write failed");
    }
}

void flushPngBytes(png_structp png) {
    auto* out = static_cast<PngFile*>(png_get_io_ptr(png));
    if (std::fflush(out->file) != 0) {
        out->writeErrno = errno;
        png_error(png, "write failed");
    }
}

// Kept apart from the setjmp frame so that no object with a destructor lives
// between setjmp and a longjmp out of libpng.
void fillRgbRow(const LockedSurface& surface, std::int32_t y, png_bytep out) {
    const std::uint8_t* pixel = surface.row(y);
    const std::int32_t step = surface.pixelStep();
    for (std::int32_t x = 0; x < surface.width; ++x, pixel += step, out += 3) {
        out[0] = pixel[2];
        out[1] = pixel[1];
        out[2] = pixel[0];
    }
}

bool writeRows(PngFile& png, const LockedSurface& surface, png_bytep row) {
    if (setjmp(png_jmpbuf(png.png))) return false;
    png_set_write_fn(png.png, &png, writePngBytes, flushPngBytes);
    png_set_IHDR(png.png, png.info, static_cast<png_uint_32>(surface.width),
                 static_cast<png_uint_32>(surface.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png.png, png.info);
    for (std::int32_t y = 0; y < surface.height; ++y) {
        fillRgbRow(surface, y, row);
        png_write_row(png.png, row);
    }
    png_write_end(png.png, png.info);
    return true;
}

bool openOutput(const WriteTarget& target, PngFile& png, std::string& error) {
    if (!target.replaceByRename) {
        png.file = std::fopen(target.path.c_str(), "wb");
        if (png.file == nullptr) error = reasonOf(errno);
        return png.file != nullptr;
    }
    const std::filesystem::path finalPath(target.path);
    const std::string stem = finalPath.filename().string().substr(0, LONGEST_TEMPORARY_STEM);
    std::string pattern = (finalPath.parent_path() / ("." + stem + ".XXXXXX")).string();
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0) {
        // The file may well be writable; what failed is making its new copy
        // beside it, so the message names the folder.
        const std::filesystem::path folder = finalPath.has_parent_path() ? finalPath.parent_path() : ".";
        error = "cannot create a file in the folder " + folder.string() + ": " + reasonOf(errno);
        return false;
    }
    png.temporaryPath = pattern;
    png.file = ::fdopen(descriptor, "wb");
    if (png.file == nullptr) {
        error = reasonOf(errno);
        ::close(descriptor);
        return false;
    }
    return true;
}

// Flushed to the disk and given its permission bits before the rename, so the
// name never points at a file that is incomplete or wrongly readable.
bool finishTemporaryFile(const WriteTarget& target, PngFile& png, std::string& error) {
    const int descriptor = ::fileno(png.file);
    if (std::fflush(png.file) != 0 || ::fsync(descriptor) != 0 || ::fchmod(descriptor, target.mode) != 0) {
        error = reasonOf(errno);
        return false;
    }
    std::FILE* file = png.file;
    png.file = nullptr;
    if (std::fclose(file) != 0) {
        error = reasonOf(errno);
        return false;
    }
    if (::rename(png.temporaryPath.c_str(), target.path.c_str()) != 0) {
        error = reasonOf(errno);
        return false;
    }
    png.temporaryPath.clear();
    return true;
}

// The new name reaches the disk with the folder. The file is already in place
// when this runs, so a folder that cannot be synced is no reason to fail.
void syncFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    ::fsync(descriptor);
    ::close(descriptor);
}

bool writePng(const LockedSurface& surface, const WriteTarget& target, std::string& error) {
    PngFile png;
    if (!openOutput(target, png, error)) return false;
    png.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, reportPngError, ignorePngWarning);
    if (png.png != nullptr) png.info = png_create_info_struct(png.png);
    if (png.png == nullptr || png.info == nullptr) {
        error = "libpng could not be set up";
        return false;
    }
    std::vector<png_byte> row(static_cast<std::size_t>(surface.width) * 3);
    if (!writeRows(png, surface, row.data())) {
        if (png.writeErrno != 0) error = reasonOf(png.writeErrno);
        return false;
    }
    if (target.replaceByRename) {
        if (!finishTemporaryFile(target, png, error)) return false;
        syncFolderOf(target.path);
        return true;
    }
    std::FILE* file = png.file;
    png.file = nullptr;
    if (std::fclose(file) != 0) {
        error = reasonOf(errno);
        return false;
    }
    return true;
}

}  // namespace

bool writeSurfacePng(const LockedSurface& surface, const std::string& path, std::string& error) {
    WriteTarget target;
    std::string reason;
    if (!resolveTarget(path, target, reason) || !writePng(surface, target, reason)) {
        error = "cannot write " + path + ": " + reason;
        return false;
    }
    return true;
}

}  // namespace veltrane
