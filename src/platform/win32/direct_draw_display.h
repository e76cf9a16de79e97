// The screen: the DirectDraw 7 device, exclusive full-screen mode at the
// desktop's resolution (32 bits per pixel, else 24), the flipping chain of a
// primary surface with one back buffer in system memory, and presentation.
//
// Presentation keeps the picture steady: a flip exchanges the two buffers, so
// the chain is flipped only when a whole page has been put into the back
// buffer since the last flip. After a flip the back buffer holds the page
// shown before and is never read: every page is drawn whole, and whatever
// must reach the screen again (the window back in front, surfaces restored)
// is drawn again first. So the processor never reads the primary surface,
// and a back buffer in video memory, where reading is slow, is only written
// (BackBufferSurface draws the page apart and copies it in). And the
// screen never alternates between two pages. Since a steady screen is not
// flipped, lost surfaces are looked for on every pass rather than learnt
// from a flip.
//
// Where the vertical-blank wait returns at once (as under Wine), presentation
// paces itself to the refresh period by the clock, waiting for messages with
// a timeout, so the never-validated paint loop does not spin a core.
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

    // True from the moment a page is put into the back buffer until the
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
    Presented,         // the page drawn last is now on the screen; the back buffer is stale
    SurfacesRestored,  // both surfaces were lost and are restored: draw the page again
};

// One pass of the paint loop: waits for the next vertical blank (or, when the
// wait does not block, until a refresh period has passed since the last
// flip); restores lost surfaces; flips when a page is waiting.
PresentResult presentFrame(DisplayState& display);

// True when showing the page again needs it drawn again first: the flipping
// chain exists and its back buffer holds no page waiting for the screen (after
// a flip it holds the page shown before).
inline bool backBufferIsStale(const DisplayState& display) {
    return display.backBuffer != nullptr && !display.pageWaiting;
}

// Marks that a whole page has just been put into the back buffer. The only
// way to have the chain flipped: the back buffer holds a stale page after
// every flip, so a picture to be shown again is drawn again.
inline void notePageDrawn(DisplayState& display) { display.pageWaiting = true; }

// At exit: gives the desktop's display mode back and releases every DirectDraw
// object. Safe on a partly created state.
void releaseDisplay(DisplayState& display);

}  // namespace veltrane::win32
