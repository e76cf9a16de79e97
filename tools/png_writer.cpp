#include "tools/png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace veltrane {
namespace {

struct PngFile {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        if (file != nullptr) std::fclose(file);
    }
};

void reportPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message;
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

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
    png_init_io(png.png, png.file);
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

}  // namespace

bool writeSurfacePng(const LockedSurface& surface, const std::string& path, std::string& error) {
    PngFile png;
    png.file = std::fopen(path.c_str(), "wb");
    if (png.file == nullptr) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    png.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, reportPngError, ignorePngWarning);
    if (png.png != nullptr) png.info = png_create_info_struct(png.png);
    if (png.png == nullptr || png.info == nullptr) {
        error = "libpng could not be set up";
        return false;
    }
    std::vector<png_byte> row(static_cast<std::size_t>(surface.width) * 3);
    if (!writeRows(png, surface, row.data())) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    std::FILE* file = png.file;
    png.file = nullptr;
    if (std::fclose(file) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace veltrane
