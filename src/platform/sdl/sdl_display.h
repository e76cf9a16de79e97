// The screen of the SDL program: a borderless full-screen window on the
// primary display at its desktop resolution, in real pixels on a scaled
// display, and the memory the pages are drawn into, locked like any Surface.
// Two ways to the screen:
// - the window's own framebuffer (SDL_GetWindowSurface), on X11 when the X
//   server has no card rendering for it (no DRI3: Xvfb, Xorg's dummy driver,
//   virtual machines and remote desktops): a shared-memory image the X server
//   copies from, so the page is drawn straight into what is presented and no
//   copy is left between the page and the screen. SDL_FRAMEBUFFER_ACCELERATION
//   set to a true value chooses the renderer instead; set to 0, this way also
//   with a card.
// - elsewhere a renderer and a back buffer in system memory (32 bits per
//   pixel, or 24 where a 32-bit texture is refused), uploaded into a
//   streaming texture when it changed; the renderer keeps vsync where it has it.
// A frame is presented only when there is something new to show or the window
// needs repainting, at most once per refresh period (and the clock always).
// Idle, the program sleeps in the event queue.
// On X11 the window becomes full screen only once the first page is shown:
// asking for it waits for a window manager's answer, which the first page
// need not wait for.
// On Wayland the page does not go through SDL's renderer, whose buffer and
// viewport SDL sizes itself (a column short or resampled at some fractional
// scales): the window stays SDL's, and the page goes on the Wayland
// presentation's sub-surfaces (platform/wayland), one page pixel per output
// pixel, at the output's size in pixels. SDL's renderer then only keeps the
// window's own surface mapped, black beneath the page.
// Depends on SDL2, the core's in-memory surface and, where built, the
// Wayland presentation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <SDL.h>

#include "display/memory_surface.h"

struct wl_display;

namespace veltrane {

class WaylandPresenter;
struct WaylandOutput;

// The window's own framebuffer as SDL keeps it (an MIT-SHM image on X11),
// drawn into through the lock like any back buffer. SDL drops it whenever it
// announces a new window size (also on entering full screen at the same
// size) and makes a new one, often at the same address, on the next
// SDL_GetWindowSurface; an event watch notes that, and the next lock takes
// the new one.
class WindowFramebuffer final : public Surface {
public:
    explicit WindowFramebuffer(SDL_Window* window);
    ~WindowFramebuffer() override;
    WindowFramebuffer(const WindowFramebuffer&) = delete;
    WindowFramebuffer& operator=(const WindowFramebuffer&) = delete;

    // Takes SDL's framebuffer: false, with why, when there is none or its
    // pixel layout is not one the drawers write (24 or 32 bits, blue first).
    bool attach(std::string& error);
    // Whether SDL has dropped the framebuffer the page was drawn into, so
    // the page must be drawn again before it can be presented.
    bool replaced() const { return dropped_; }

    bool lock(LockedSurface& locked) override;
    void unlock() override {}

    // The size the next lock has: a dropped framebuffer comes back at the
    // window's size in pixels.
    std::int32_t width() const;
    std::int32_t height() const;

private:
    static int noteWindowEvent(void* framebuffer, SDL_Event* event);

    SDL_Window* window_;
    SDL_Surface* surface_ = nullptr;  // SDL's, valid while not dropped
    bool dropped_ = false;
};

class SdlDisplay {
public:
    SdlDisplay();
    ~SdlDisplay();
    SdlDisplay(const SdlDisplay&) = delete;
    SdlDisplay& operator=(const SdlDisplay&) = delete;

    // The video subsystem on a driver that shows pictures: false, with what
    // is missing, when there is no display or SDL could only fall back to a
    // driver without a screen (offscreen, dummy).
    bool initialise(std::string& error);
    // The SDL video driver in use ("x11", "wayland", ...).
    std::string driver() const;
    // The desktop size of display `displayIndex` (SDL's numbering) in the
    // units windows are sized in.
    bool desktopSize(int displayIndex, std::int32_t& width, std::int32_t& height, std::string& error) const;
    // The borderless full-screen window on display `displayIndex`, hidden
    // until show(); on X11 it covers the display but asks to be full screen
    // only in enterFullScreen().
    bool createWindow(int displayIndex, std::int32_t width, std::int32_t height, std::string& error);
    // The window's framebuffer where it is chosen (see above); else the
    // renderer, the back buffer at the output's size in real pixels, and the
    // streaming texture (32 bits per pixel, else 24); on Wayland the Wayland
    // presentation instead of the texture, where the compositor allows it.
    bool createPresentation(std::string& error);
    void show();
    // The window's full-screen state, once the first page is on the screen.
    void enterFullScreen();
    void destroyWindow();
    // The window, to own boxes shown over the pages; null once destroyed.
    SDL_Window* window() const { return window_; }

    // What the pages are drawn into: the window's framebuffer, or the back buffer.
    Surface& backBuffer();
    std::int32_t width() const;
    std::int32_t height() const;

    // After a window event: when the output's pixel size differs from the back
    // buffer, both are made again at the new size and true says the page must
    // be drawn again.
    bool followOutputSize();
    // Whether the Wayland outputs changed (mode, scale, position) since the
    // last call: such a change need not come with a window event.
    bool outputsChanged();
    // The renderer lost its targets or its device: the texture is made again
    // and the page must be drawn again (the caller does that).
    void recoverFromReset(bool deviceReset);

    // What the user should know about how exactly the pages are shown (a
    // scale the compositor cannot show one to one, the Wayland presentation
    // unavailable), each said once; taken by the caller to print.
    std::vector<std::string> takeWarnings();
    // Why the connection to the display ended, when it did (the compositor
    // went away); nothing while it holds.
    std::optional<std::string> connectionLost() const;

    void requestPresent() { presentWanted_ = true; }
    bool presentPending() const { return presentWanted_ || backBufferChanged_; }
    // The program drew a new page into the back buffer: the texture is out of
    // date and the next present uploads it.
    void notePageDrawn() { backBufferChanged_ = true; }
    // Milliseconds until a pending frame may be presented (0 when now).
    std::uint32_t msUntilNextFrame() const;
    // Uploads the back buffer when it changed and presents it.
    void present();

    bool hasVsync() const { return vsync_; }
    int refreshRate() const { return refreshRate_; }
    const char* rendererName() const { return rendererName_.c_str(); }

private:
    // Whether the pages go into the window's framebuffer (see above).
    bool framebufferChosen() const;
    bool createBackBufferAndTexture(std::string& error);
    // The page's size in pixels: the Wayland output's when the Wayland
    // presentation shows it, else the renderer's output size.
    bool pagePixelSize(int& width, int& height);
    void attachWaylandPresentation();
    std::optional<WaylandOutput> windowOutput() const;
    void presentOnWayland();
    void warnOnce(const std::string& warning);

    bool videoReady_ = false;
    SDL_Window* window_ = nullptr;
    int displayIndex_ = 0;
    wl_display* waylandDisplay_ = nullptr;  // SDL's connection, on the Wayland driver
    std::unique_ptr<WaylandPresenter> wayland_;
    bool windowSurfaceShown_ = false;
    std::uint64_t outputChangesSeen_ = 0;  // SDL's own surface presented since the sub-surfaces were placed
    std::vector<std::string> warnings_;
    std::vector<std::string> warned_;
    bool fullScreenLater_ = false;  // X11: the window asks to be full screen after the first page
    std::unique_ptr<WindowFramebuffer> framebuffer_;  // when the pages are drawn straight into the window's
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    std::unique_ptr<MemorySurface> backBuffer_;
    bool backBufferChanged_ = false;  // drawn into since the last upload
    bool vsync_ = false;
    int refreshRate_ = 60;
    std::string rendererName_;
    bool presentWanted_ = false;
    std::uint64_t lastPresentTicks_ = 0;  // SDL_GetTicks64 of the last present, 0 before the first
};

}  // namespace veltrane
