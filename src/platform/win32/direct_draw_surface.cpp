// Locking an IDirectDrawSurface7 for the core's drawers.
#include "platform/win32/direct_draw_surface.h"

namespace veltrane::win32 {

bool lockWholeSurface(IDirectDrawSurface7* surface, LockedSurface& locked) {
    if (surface == nullptr) return false;
    // Zeroed, with the size the platform's own headers give: the record is
    // 124 bytes in a 32-bit build and 136 in a 64-bit one, and DirectDraw
    // refuses any other size.
    DDSURFACEDESC2 ddsd{};
    ddsd.dwSize = sizeof ddsd;
    if (surface->Lock(nullptr, &ddsd, DDLOCK_WAIT, nullptr) != DD_OK) return false;
    locked.pixels = static_cast<std::uint8_t*>(ddsd.lpSurface);
    locked.pitch = static_cast<std::int32_t>(ddsd.lPitch);
    locked.width = static_cast<std::int32_t>(ddsd.dwWidth);
    locked.height = static_cast<std::int32_t>(ddsd.dwHeight);
    locked.bitsPerPixel = static_cast<std::int32_t>(ddsd.ddpfPixelFormat.dwRGBBitCount);
    if (!isDrawable(locked)) {
        // A format the drawers cannot write (a palette or 16-bit mode another
        // program left, say): give the platform's lock back and fail as a
        // refused lock does.
        surface->Unlock(nullptr);
        locked = LockedSurface{};
        return false;
    }
    return true;
}

bool DirectDrawSurface::lock(LockedSurface& locked) { return lockWholeSurface(surface_, locked); }

void DirectDrawSurface::unlock() {
    if (surface_ != nullptr) surface_->Unlock(nullptr);
}

}  // namespace veltrane::win32
