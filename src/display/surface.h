// The one way every drawer reaches pixel memory: lock the whole surface, write
// through what the lock describes, unlock. DirectDraw surfaces, the SDL back
// buffer and the in-memory test surface all sit behind this seam.
#pragma once

#include <cstdint>

namespace veltrane {

struct LockedSurface {
    std::uint8_t* pixels = nullptr;  // top-left pixel
    std::int32_t pitch = 0;          // bytes from one row to the next; may exceed width * step
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 0;   // 24 or 32

    std::int32_t pixelStep() const { return bitsPerPixel / 8; }
    std::uint8_t* row(std::int32_t y) const { return pixels + static_cast<std::intptr_t>(y) * pitch; }
};

class Surface {
public:
    virtual ~Surface() = default;

    // Locks the whole surface, waiting while it is busy. False when it cannot be
    // locked: the caller then writes nothing and must not call unlock().
    virtual bool lock(LockedSurface& locked) = 0;
    virtual void unlock() = 0;
};

// Stores a 0x00RRGGBB value as the three bytes blue, green, red. The top byte is
// never stored, so the fourth byte of a 32-bit pixel keeps what it held.
inline void storePixel(std::uint8_t* pixel, std::uint32_t color) {
    pixel[0] = static_cast<std::uint8_t>(color);
    pixel[1] = static_cast<std::uint8_t>(color >> 8);
    pixel[2] = static_cast<std::uint8_t>(color >> 16);
}

}  // namespace veltrane
