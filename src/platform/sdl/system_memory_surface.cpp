#include "system_memory_surface.h"

namespace veltrane {

SystemMemorySurface::SystemMemorySurface(std::int32_t width, std::int32_t height,
                                         std::int32_t bitsPerPixel)
    : width_(width > 0 ? width : 1), height_(height > 0 ? height : 1),
      bitsPerPixel_(bitsPerPixel == 24 ? 24 : 32), pitch_(width_ * (bitsPerPixel_ / 8)),
      bytes_(static_cast<std::size_t>(pitch_) * static_cast<std::size_t>(height_), 0) {}

bool SystemMemorySurface::lock(LockedSurface& locked) {
    // One drawer at a time; a second lock while one is held would mean a drawer
    // forgot to unlock, and it gets nothing rather than a shared buffer.
    if (locked_) return false;
    locked_ = true;
    locked = LockedSurface{bytes_.data(), pitch_, width_, height_, bitsPerPixel_};
    return true;
}

void SystemMemorySurface::unlock() {
    locked_ = false;
    changed_ = true;
}

}  // namespace veltrane
