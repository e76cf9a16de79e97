#include "display/memory_surface.h"

#include <stdexcept>

namespace veltrane {

MemorySurface::MemorySurface(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                             std::int32_t pitch, std::uint8_t fill)
    : width_(width), height_(height), bitsPerPixel_(bitsPerPixel) {
    if (width < 1 || height < 1) throw std::invalid_argument("surface must be at least 1x1");
    if (bitsPerPixel != 24 && bitsPerPixel != 32) {
        throw std::invalid_argument("surface must have 24 or 32 bits per pixel");
    }
    const std::int32_t tightPitch = width * (bitsPerPixel / 8);
    if (pitch != 0 && pitch < tightPitch) throw std::invalid_argument("pitch shorter than a row");
    pitch_ = pitch == 0 ? tightPitch : pitch;
    bytes_.assign(static_cast<std::size_t>(pitch_) * static_cast<std::size_t>(height_), fill);
}

bool MemorySurface::lock(LockedSurface& locked) {
    locked = LockedSurface{bytes_.data(), pitch_, width_, height_, bitsPerPixel_};
    return true;
}

void MemorySurface::unlock() {}

std::uint32_t MemorySurface::pixel(std::int32_t x, std::int32_t y) const {
    const std::uint8_t* p = bytes_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_) +
                            static_cast<std::size_t>(x) * static_cast<std::size_t>(bitsPerPixel_ / 8);
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16;
}

}  // namespace veltrane
