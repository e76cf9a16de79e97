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
    std::int32_t bitsPerPixel = 0;   // 24 or 32 once a lock has succeeded

    std::int32_t pixelStep() const { return bitsPerPixel / 8; }
    std::uint8_t* row(std::int32_t y) const { return pixels + static_cast<std::intptr_t>(y) * pitch; }
};

// Whether the drawers can write through a lock: they store three colour bytes
// per pixel a whole number of bytes apart and walk rows by the pitch, so only
// 24 or 32 bits per pixel and a pitch that holds a whole row will do. A
// surface whose lock describes anything else refuses the lock, as if it had
// failed, rather than have a drawer write with a wrong pixel size.
inline bool isDrawable(const LockedSurface& locked) {
    if (locked.pixels == nullptr || locked.width < 0 || locked.height < 0) return false;
    if (locked.bitsPerPixel != 24 && locked.bitsPerPixel != 32) return false;
    const std::int64_t rowBytes = std::int64_t{locked.width} * locked.pixelStep();
    return locked.pitch >= 0 && locked.pitch >= rowBytes;
}

class Surface {
public:
    virtual ~Surface() = default;

    // Locks the whole surface, waiting while it is busy. False when it cannot be
    // locked or its lock is not drawable (isDrawable): the caller then writes
    // nothing and must not call unlock().
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
