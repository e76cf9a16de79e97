// The Surface seam over an IDirectDrawSurface7: every drawer of the core locks
// the back buffer through this adapter. A lock is always of the whole surface,
// with a zeroed description whose size field is the platform record's own
// size, waiting while the surface is busy.
//
// Depends on: ddraw.h (IDirectDrawSurface7, DDSURFACEDESC2).
#pragma once

#include <windows.h>

#include <ddraw.h>

#include "display/surface.h"

namespace veltrane::win32 {

// Locks the whole of `surface`. False when the lock is refused (for example
// while the surface is lost) or describes a layout the drawers cannot write
// (isDrawable); nothing is locked then.
bool lockWholeSurface(IDirectDrawSurface7* surface, LockedSurface& locked);

class DirectDrawSurface final : public Surface {
public:
    // Refers to the pointer, not the surface, so the adapter can be made before
    // the flipping chain exists and follows it afterwards.
    explicit DirectDrawSurface(IDirectDrawSurface7* const& surface) : surface_(surface) {}

    bool lock(LockedSurface& locked) override;
    void unlock() override;

private:
    IDirectDrawSurface7* const& surface_;
};

}  // namespace veltrane::win32
