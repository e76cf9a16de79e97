#include "tools/png_writer.h"

#include <png.h>

#include <cstdint>
#include <new>
#include <vector>

#include "platform/file_writing.h"

namespace veltrane {
namespace {

// The pages are large fields of one colour, lines and a caption. With the
// sub filter a flat row is zero after its first pixel; zlib's fast level 3
// then squeezes those runs at several hundred megabytes a second. libpng's
// default (level 6, a filter chosen per row from all five) makes files a
// third as large but takes three and a half times as long; level 6 with the
// up filter, the smallest files, takes nearly twice as long (the README's
// exporter section gives the figures).
constexpr int PNG_ZLIB_LEVEL = 3;
constexpr int PNG_ROW_FILTERS = PNG_FILTER_SUB;

// What one encoding holds; released when it ends, after a failure too.
struct PngEncoder {
    std::string* out = nullptr;
    bool outOfMemory = false;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngEncoder() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    }
};

void reportPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message;
    png_longjmp(png, 1);
}

void ignorePngWarning(png_structp, png_const_charp) {}

// No exception may cross libpng's C frames, and no longjmp may leave a catch
// block: the failure is noted first and reported after the try.
void appendPngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* encoder = static_cast<PngEncoder*>(png_get_io_ptr(png));
    bool appended = true;
    try {
        encoder->out->append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        appended = false;
    }
    if (!appended) {
        encoder->outOfMemory = true;
        png_error(png, "out of memory");
    }
}

// libpng's own flush would take the I/O pointer for a FILE.
void flushNothing(png_structp) {}

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

bool encodeRows(PngEncoder& encoder, const LockedSurface& surface, png_bytep row) {
    if (setjmp(png_jmpbuf(encoder.png))) return false;
    png_set_write_fn(encoder.png, &encoder, appendPngBytes, flushNothing);
    png_set_IHDR(encoder.png, encoder.info, static_cast<png_uint_32>(surface.width),
                 static_cast<png_uint_32>(surface.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(encoder.png, PNG_ZLIB_LEVEL);
    png_set_filter(encoder.png, PNG_FILTER_TYPE_BASE, PNG_ROW_FILTERS);
    png_write_info(encoder.png, encoder.info);
    for (std::int32_t y = 0; y < surface.height; ++y) {
        fillRgbRow(surface, y, row);
        png_write_row(encoder.png, row);
    }
    png_write_end(encoder.png, encoder.info);
    return true;
}

}  // namespace

bool encodeSurfacePng(const LockedSurface& surface, std::string& png, std::string& error) {
    png.clear();
    PngEncoder encoder;
    encoder.out = &png;
    encoder.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, reportPngError, ignorePngWarning);
    if (encoder.png != nullptr) encoder.info = png_create_info_struct(encoder.png);
    if (encoder.png == nullptr || encoder.info == nullptr) {
        error = "libpng could not be set up";
        return false;
    }
    std::vector<png_byte> row(static_cast<std::size_t>(surface.width) * 3);
    if (!encodeRows(encoder, surface, row.data())) {
        if (encoder.outOfMemory) error = "not enough memory to encode the picture";
        png.clear();
        return false;
    }
    return true;
}

bool writeSurfacePng(const LockedSurface& surface, const std::string& path, std::string& error) {
    std::string png;
    std::string reason;
    if (!encodeSurfacePng(surface, png, reason)) {
        error = "cannot write " + path + ": " + reason;
        return false;
    }
    return writeFile(path, png, error);
}

}  // namespace veltrane
