// The Surface seam over the DirectDraw back buffer. A lock of a DirectDraw
// surface is always of the whole surface, with a zeroed description whose size
// field is the platform record's own size.
//
// The program draws its pages through BackBufferSurface, which keeps the
// processor from reading a back buffer in video memory.
//
// Depends on: ddraw.h (IDirectDrawSurface7, DDSURFACEDESC2), the core's
// memory surface and row copy.
#pragma once

#include <windows.h>

#include <ddraw.h>

#include <memory>

#include "display/memory_surface.h"
#include "display/surface.h"

namespace veltrane::win32 {

// Locks the whole of `surface`. False when the lock is refused (for example
// while the surface is lost) or describes a layout the drawers cannot write
// (isDrawable); nothing is locked then.
// `flags` are DirectDraw's lock flags; DDLOCK_WAIT waits while the surface
// is busy.
bool lockWholeSurface(IDirectDrawSurface7* surface, LockedSurface& locked, DWORD flags = DDLOCK_WAIT);

// The back buffer as the drawers see it. At 32 bits the drawers read what
// they write (each pixel's fourth byte keeps what it held, so they merge into
// it). Where the back buffer lies in system memory, as the chain asks, that
// costs nothing and the drawers write straight into it. Where the display
// card has put it in video memory, where the processor reads an order of
// magnitude slower than it writes, the page is drawn in system memory of the
// back buffer's size and depth and finishPage() copies it in: the back buffer
// is then only ever written. That copy carries the page's fourth bytes, which
// hold no colour, with the rest.
class BackBufferSurface final : public Surface {
public:
    // Refers to the pointer, not the surface, so the adapter can be made
    // before the flipping chain exists and follows it afterwards.
    explicit BackBufferSurface(IDirectDrawSurface7* const& backBuffer) : backBuffer_(backBuffer) {}

    // Locks the back buffer itself or, where it lies in video memory, the
    // page, first made (or made again) to the back buffer's current size and
    // depth. False when the back buffer cannot be locked or described, has a
    // depth the drawers cannot write, or the page's memory cannot be had.
    bool lock(LockedSurface& locked) override;
    void unlock() override;

    // Puts the page just drawn into the back buffer. True when it is there:
    // drawn there, or copied in under a write-only lock. False when the copy
    // cannot be made (the back buffer lost, say, or no longer of the page's
    // size and depth); the back buffer is then left as it was, and the page
    // must be drawn again once it can be.
    bool finishPage();

    // Whether the last lock was of the page in system memory.
    bool drawsApart() const { return drawsApart_; }

private:
    IDirectDrawSurface7* const& backBuffer_;
    std::unique_ptr<MemorySurface> page_;  // kept only while the back buffer lies in video memory
    bool drawsApart_ = false;
};

}  // namespace veltrane::win32
