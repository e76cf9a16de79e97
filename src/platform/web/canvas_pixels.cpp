#include "platform/web/canvas_pixels.h"

#include <cstring>

namespace veltrane {
namespace {

// Blue, green, red, x in memory (little-endian 0xXXRRGGBB) to red, green,
// blue, 255 (0xFFBBGGRR).
inline std::uint32_t canvasWord(std::uint32_t bgrx) {
    return 0xFF000000u | ((bgrx & 0xFFu) << 16) | (bgrx & 0xFF00u) | ((bgrx >> 16) & 0xFFu);
}

void copyRow32(const std::uint8_t* source, std::uint8_t* target, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        std::uint32_t word = 0;
        std::memcpy(&word, source + 4 * x, 4);
        const std::uint32_t out = canvasWord(word);
        std::memcpy(target + 4 * x, &out, 4);
    }
}

void copyRow24(const std::uint8_t* source, std::uint8_t* target, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        target[4 * x + 0] = source[3 * x + 2];
        target[4 * x + 1] = source[3 * x + 1];
        target[4 * x + 2] = source[3 * x + 0];
        target[4 * x + 3] = 0xFF;
    }
}

}  // namespace

void copyToCanvasPixels(const LockedSurface& surface, std::uint8_t* rgba) {
    const std::size_t targetPitch = static_cast<std::size_t>(surface.width) * 4;
    for (std::int32_t y = 0; y < surface.height; ++y) {
        std::uint8_t* target = rgba + targetPitch * static_cast<std::size_t>(y);
        if (surface.bitsPerPixel == 32) {
            copyRow32(surface.row(y), target, surface.width);
        } else {
            copyRow24(surface.row(y), target, surface.width);
        }
    }
}

}  // namespace veltrane
