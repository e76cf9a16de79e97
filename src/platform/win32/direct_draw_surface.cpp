// Locking an IDirectDrawSurface7 for the core's drawers.
#include "platform/win32/direct_draw_surface.h"

#include <new>

#include "display/row_copy.h"

namespace veltrane::win32 {

bool lockWholeSurface(IDirectDrawSurface7* surface, LockedSurface& locked, DWORD flags) {
    if (surface == nullptr) return false;
    // Zeroed, with the size the platform's own headers give: the record is
    // 124 bytes in a 32-bit build and 136 in a 64-bit one, and DirectDraw
    // refuses any other size.
    DDSURFACEDESC2 ddsd{};
    ddsd.dwSize = sizeof ddsd;
    if (surface->Lock(nullptr, &ddsd, flags, nullptr) != DD_OK) return false;
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

namespace {

bool sameLayout(const LockedSurface& a, const LockedSurface& b) {
    return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel;
}

}  // namespace

bool BackBufferSurface::lock(LockedSurface& locked) {
    if (backBuffer_ == nullptr) return false;
    DDSURFACEDESC2 ddsd{};
    ddsd.dwSize = sizeof ddsd;
    if (backBuffer_->GetSurfaceDesc(&ddsd) != DD_OK) return false;
    drawsApart_ = (ddsd.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY) != 0;
    if (!drawsApart_) {
        page_.reset();
        return lockWholeSurface(backBuffer_, locked);
    }

    const auto width = static_cast<std::int32_t>(ddsd.dwWidth);
    const auto height = static_cast<std::int32_t>(ddsd.dwHeight);
    const auto bitsPerPixel = static_cast<std::int32_t>(ddsd.ddpfPixelFormat.dwRGBBitCount);
    if (width < 1 || height < 1 || (bitsPerPixel != 24 && bitsPerPixel != 32)) return false;
    if (page_ == nullptr || page_->width() != width || page_->height() != height ||
        page_->bitsPerPixel() != bitsPerPixel) {
        page_.reset();
        try {
            page_ = std::make_unique<MemorySurface>(width, height, bitsPerPixel);
        } catch (const std::bad_alloc&) {
            return false;  // as a refused lock: nothing is drawn
        }
    }
    return page_->lock(locked);
}

void BackBufferSurface::unlock() {
    if (!drawsApart_ && backBuffer_ != nullptr) backBuffer_->Unlock(nullptr);
}

bool BackBufferSurface::finishPage() {
    if (!drawsApart_) return true;
    LockedSurface page;
    if (page_ == nullptr || !page_->lock(page)) return false;
    LockedSurface target;
    if (!lockWholeSurface(backBuffer_, target, DDLOCK_WAIT | DDLOCK_WRITEONLY)) return false;
    const bool copied = sameLayout(target, page);
    if (copied) copyPixelRows(target, page);
    backBuffer_->Unlock(nullptr);
    return copied;
}

}  // namespace veltrane::win32
