// The screen: the DirectDraw 7 device, exclusive full-screen mode at the
// desktop's resolution (32 bits per pixel, else 24), the flipping chain of a
// primary surface with one back buffer in system memory, and presentation.
//
// Presentation keeps the picture steady: a flip exchanges the two buffers, so
// the chain is flipped only when a page has been drawn since the last flip,
// and the new front surface is then copied back into the back buffer. The
// back buffer thus always holds the page on the screen, and the screen never
// alternates between two pages. Since a steady screen is not flipped, lost
// surfaces are looked for on every pass rather than learnt from a flip.
//
// Where the vertical-blank wait returns at once (as under Wine), presentation
// paces itself to the refresh period by waiting for messages with a timeout,
// so the never-validated paint loop does not spin a core.
//
// Depends on: ddraw.dll (loaded at run time), user32 (MsgWaitForMultipleObjects),
// kernel32 (the performance counter).
#pragma once

#include <windows.h>

#include <ddraw.h>

#include <cstdint>

namespace veltrane::win32 {

struct DisplayState {
    HMODULE ddrawLibrary = nullptr;
    IDirectDraw7* directDraw = nullptr;
    IDirectDrawSurface7* primarySurface = nullptr;
    IDirectDrawSurface7* backBuffer = nullptr;
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;

    // True from the moment a page is drawn into the back buffer until the
    // flip that puts it on the screen.
    bool pageWaiting = false;

    // Pacing of the paint loop, in performance-counter ticks.
    std::int64_t ticksPerSecond = 0;
    std::int64_t refreshPeriodTicks = 0;
    std::int64_t lastPresentationTick = 0;
};

// Loads DirectDraw and creates the device. On failure shows the box "Error in
// initializing DirectDraw" and returns true; nothing else has been touched.
bool createDisplayDevice(DisplayState& display);

// Exclusive full-screen control of `window`, then the mode screenWidth x
// screenHeight at 32 bits per pixel, else 24. True on failure.
bool setFullScreenMode(DisplayState& display, HWND window);

// Gives exclusive control back (used on the start-up failure paths).
void leaveExclusiveMode(DisplayState& display, HWND window);

// The primary surface with one back buffer in system memory. True on failure.
bool createFlippingChain(DisplayState& display);

enum class PresentResult {
    Steady,            // nothing new, or surfaces still lost: the screen keeps its picture
    Presented,         // the page drawn last is now on the screen and in the back buffer
    SurfacesRestored,  // both surfaces were lost and are restored: draw the page again
};

// One pass of the paint loop: waits for the next vertical blank (or the next
// refresh period when the wait does not block); restores lost surfaces; flips
// when a page is waiting and copies it back into the back buffer.
PresentResult presentFrame(DisplayState& display);

// Marks that a page has just been drawn into the back buffer.
inline void notePageDrawn(DisplayState& display) { display.pageWaiting = true; }

// Asks for the picture to be presented again although nothing changed, for
// when the screen may have been painted over. The back buffer holds the page
// on the screen, so the flip shows the same picture.
inline void requestPresentation(DisplayState& display) { display.pageWaiting = true; }

// At exit: gives the desktop's display mode back and releases every DirectDraw
// object. Safe on a partly created state.
void releaseDisplay(DisplayState& display);

}  // namespace veltrane::win32
