#include "display/memory_surface.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace veltrane {

MemorySurface::MemorySurface(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                             std::int32_t pitch, std::uint8_t fill)
    : width_(width), height_(height), bitsPerPixel_(bitsPerPixel) {
    if (width < 1 || height < 1) throw std::invalid_argument("surface must be at least 1x1");
    if (bitsPerPixel < 8 || bitsPerPixel > 32 || bitsPerPixel % 8 != 0) {
        throw std::invalid_argument("surface must have 8, 16, 24 or 32 bits per pixel");
    }
    const std::int64_t rowBytes = std::int64_t{width} * (bitsPerPixel / 8);
    if (rowBytes > std::numeric_limits<std::int32_t>::max()) {
        throw std::invalid_argument("surface row too long for its pitch");
    }
    pitch_ = pitch == 0 ? static_cast<std::int32_t>(rowBytes) : pitch;
    // A whole pitch for every row, the last one's padding included, and room
    // for every row however a short pitch lays them out; a negative pitch
    // stores the rows bottom first, so the top row is the last in memory.
    const std::int64_t rowDistance = pitch_ < 0 ? -std::int64_t{pitch_} : pitch_;
    bytes_.assign(static_cast<std::size_t>(std::max(rowDistance, rowBytes) * height), fill);
    topRowOffset_ = pitch_ < 0 ? static_cast<std::size_t>(rowDistance * (height - 1)) : 0;
}

bool MemorySurface::lock(LockedSurface& locked) {
    const LockedSurface described{bytes_.data() + topRowOffset_, pitch_, width_, height_, bitsPerPixel_};
    if (!isDrawable(described)) return false;
    locked = described;
    return true;
}

void MemorySurface::unlock() {}

std::uint32_t MemorySurface::pixel(std::int32_t x, std::int32_t y) const {
    const std::uint8_t* p = bytes_.data() + topRowOffset_ + std::int64_t{y} * pitch_ +
                            std::int64_t{x} * (bitsPerPixel_ / 8);
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16;
}

}  // namespace veltrane
