// The DirectDraw device, display mode, flipping chain and steady, paced
// presentation. See direct_draw_display.h for the why.
#include "platform/win32/direct_draw_display.h"

namespace veltrane::win32 {
namespace {

// IID_IDirectDraw7, spelled out so no GUID library has to be linked.
const GUID DIRECT_DRAW_7_INTERFACE = {
    0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

using DirectDrawCreateExFunction = HRESULT(WINAPI*)(GUID*, LPVOID*, REFIID, IUnknown*);

constexpr DWORD FALLBACK_REFRESH_RATE = 60;

std::int64_t performanceCounter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// DirectDraw is loaded at run time rather than imported, so that a machine
// without it still starts far enough to say so in a message box.
DirectDrawCreateExFunction loadDirectDrawCreateEx(HMODULE& library) {
    library = LoadLibraryA("ddraw.dll");
    if (library == nullptr) return nullptr;
    // Through the generic function type, as GetProcAddress returns one type for all.
    const auto address = reinterpret_cast<void (*)()>(GetProcAddress(library, "DirectDrawCreateEx"));
    return reinterpret_cast<DirectDrawCreateExFunction>(address);
}

void measureRefreshPeriod(DisplayState& display) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    display.ticksPerSecond = frequency.QuadPart;
    DWORD hertz = 0;
    if (display.directDraw->GetMonitorFrequency(&hertz) != DD_OK || hertz < 20 || hertz > 1000) {
        hertz = FALLBACK_REFRESH_RATE;
    }
    display.refreshPeriodTicks = display.ticksPerSecond / hertz;
}

// Waits until a page may go to the screen; true when that moment has come.
// Where the display has a vertical-blank wait, that is the start of the next
// blank. A wait that returns at once (Wine's does, and so may a driver's) is
// made up for by the clock: a waiting page goes to the screen as soon as a
// refresh period has passed since the one before it, so a key pressed on a
// screen at rest shows at once, and a flood of keys still shows one page per
// period. Until then, and with nothing to show, the pass waits for messages
// for up to a period, so a key press still wakes the loop and the never-
// validated paint loop does not spin a core.
bool waitForNextRefresh(DisplayState& display) {
    if (display.refreshPeriodTicks == 0) measureRefreshPeriod(display);
    const std::int64_t period = display.refreshPeriodTicks;

    const std::int64_t before = performanceCounter();
    display.directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    const std::int64_t after = performanceCounter();
    if (after - before >= period / 16) return true;

    const std::int64_t due = display.pageWaiting ? display.lastPresentationTick + period : after + period;
    if (due <= after) return true;
    const std::int64_t remainingTicks = due - after;
    const DWORD milliseconds = static_cast<DWORD>(
        (remainingTicks * 1000 + display.ticksPerSecond - 1) / display.ticksPerSecond);
    // Every kind of message but paint wakes us: the paint message is always
    // pending, as the window's update region is never validated.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT & ~QS_PAINT);
    // Woken early by a message: not yet; the message is handled first and
    // the next pass waits out the rest of the period.
    return performanceCounter() >= due;
}

}  // namespace

bool createDisplayDevice(DisplayState& display) {
    const DirectDrawCreateExFunction directDrawCreateEx = loadDirectDrawCreateEx(display.ddrawLibrary);
    void* device = nullptr;
    if (directDrawCreateEx == nullptr ||
        directDrawCreateEx(nullptr, &device, DIRECT_DRAW_7_INTERFACE, nullptr) != DD_OK) {
        MessageBoxA(nullptr, "Error in initializing DirectDraw", "Error", MB_OK);
        if (display.ddrawLibrary != nullptr) FreeLibrary(display.ddrawLibrary);
        display.ddrawLibrary = nullptr;
        return true;
    }
    display.directDraw = static_cast<IDirectDraw7*>(device);
    return false;
}

bool setFullScreenMode(DisplayState& display, HWND window) {
    if (display.directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) != DD_OK) {
        return true;
    }
    const DWORD width = static_cast<DWORD>(display.screenWidth);
    const DWORD height = static_cast<DWORD>(display.screenHeight);
    if (display.directDraw->SetDisplayMode(width, height, 32, 0, 0) == DD_OK) return false;
    return display.directDraw->SetDisplayMode(width, height, 24, 0, 0) != DD_OK;
}

void leaveExclusiveMode(DisplayState& display, HWND window) {
    display.directDraw->SetCooperativeLevel(window, DDSCL_NORMAL);
}

bool createFlippingChain(DisplayState& display) {
    DDSURFACEDESC2 chain{};
    chain.dwSize = sizeof chain;
    chain.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    chain.dwBackBufferCount = 1;
    chain.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX |
                           DDSCAPS_SYSTEMMEMORY | DDSCAPS_3DDEVICE;
    if (display.directDraw->CreateSurface(&chain, &display.primarySurface, nullptr) != DD_OK) {
        display.primarySurface = nullptr;
        return true;
    }
    DDSCAPS2 backBufferCaps{};
    backBufferCaps.dwCaps = DDSCAPS_BACKBUFFER;
    if (display.primarySurface->GetAttachedSurface(&backBufferCaps, &display.backBuffer) != DD_OK) {
        display.backBuffer = nullptr;
        return true;
    }
    return false;
}

namespace {

// Lost surfaces (another program took the display, or the mode changed) are
// restored once the display is ours again; until then every pass tries anew.
PresentResult restoreSurfaces(DisplayState& display) {
    if (display.primarySurface->Restore() != DD_OK) return PresentResult::Steady;
    display.backBuffer->Restore();
    return PresentResult::SurfacesRestored;
}

}  // namespace

PresentResult presentFrame(DisplayState& display) {
    const bool presentationDue = waitForNextRefresh(display);
    // Asked every pass, as a steady screen is not flipped and so would
    // otherwise never learn that its surfaces were lost.
    if (display.primarySurface->IsLost() == DDERR_SURFACELOST) return restoreSurfaces(display);
    if (!display.pageWaiting || !presentationDue) return PresentResult::Steady;

    const HRESULT flip = display.primarySurface->Flip(display.backBuffer, 0);
    if (flip == DDERR_SURFACELOST) return restoreSurfaces(display);
    // Any other refusal (the hardware still busy, say) leaves the page waiting
    // for the next pass.
    if (flip != DD_OK) return PresentResult::Steady;

    display.pageWaiting = false;
    display.lastPresentationTick = performanceCounter();
    return PresentResult::Presented;
}

void releaseDisplay(DisplayState& display) {
    if (display.directDraw != nullptr) {
        display.directDraw->RestoreDisplayMode();
        display.directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    }
    if (display.backBuffer != nullptr) display.backBuffer->Release();
    if (display.primarySurface != nullptr) display.primarySurface->Release();
    if (display.directDraw != nullptr) display.directDraw->Release();
    display.backBuffer = nullptr;
    display.primarySurface = nullptr;
    display.directDraw = nullptr;
    if (display.ddrawLibrary != nullptr) FreeLibrary(display.ddrawLibrary);
    display.ddrawLibrary = nullptr;
}

}  // namespace veltrane::win32
