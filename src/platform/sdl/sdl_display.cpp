#include "platform/sdl/sdl_display.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <SDL_syswm.h>
#if VELTRANE_HAVE_XLIB
#include <X11/Xlib.h>
#endif

#include "platform/sdl/display_choice.h"

#if VELTRANE_HAVE_WAYLAND
#include <wayland-client.h>

#include "platform/wayland/wayland_presenter.h"
#else
namespace veltrane {
// Without the Wayland layer in the build these are never made.
class WaylandPresenter {};
struct WaylandOutput {};
}  // namespace veltrane
#endif

namespace veltrane {
namespace {

constexpr int DEFAULT_REFRESH_RATE = 60;

// Drivers that run without any screen: SDL falls back to them when no real
// one starts, and the program would then run on, invisible, for ever.
bool showsNothing(std::string_view driver) {
    return driver == "offscreen" || driver == "dummy" || driver == "evdev";
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

// Every compiled-in driver that puts pictures on a screen, as the
// comma-separated list SDL's driver hint takes, the native one first on a
// Wayland session.
std::string screenDrivers() {
    std::vector<std::string> names;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (name != nullptr && !showsNothing(name)) names.emplace_back(name);
    }
    return driverPreference(names, isWaylandSession(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE")));
}

namespace {

// What is wrong on this machine, in the user's terms: SDL itself only says
// that no driver was available.
std::string missingScreenReason() {
    const std::string x11 = environmentValue("DISPLAY");
    const std::string wayland = environmentValue("WAYLAND_DISPLAY");
    if (x11.empty() && wayland.empty()) {
        return "neither DISPLAY nor WAYLAND_DISPLAY is set, so there is no desktop session to show a "
               "window in (start it from a desktop session, or set DISPLAY)";
    }
    std::string reason;
    if (!x11.empty()) reason = "the X display \"" + x11 + "\" named by DISPLAY cannot be opened";
    if (!wayland.empty()) {
        if (!reason.empty()) reason += ", and ";
        reason += "the Wayland display \"" + wayland + "\" named by WAYLAND_DISPLAY cannot be reached";
    }
    return reason;
}

// Memory order blue, green, red (and a spare byte), which is how the drawers
// store pixels: SDL names packed formats by their 32-bit value, so XRGB8888
// is B, G, R, X in a little-endian machine's memory, and BGR24 names the
// three bytes in memory order.
constexpr Uint32 FORMAT_32 = SDL_BYTEORDER == SDL_LIL_ENDIAN ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_BGRX8888;
constexpr Uint32 FORMAT_24 = SDL_PIXELFORMAT_BGR24;

// Whether an X server has a card rendering for it: DRI3 is how Mesa's drivers
// share the card's buffers with the server, and a server without a card
// (Xvfb, the dummy driver, most remote desktops) does not offer it.
bool xServerRendersOnCard([[maybe_unused]] SDL_Window* window) {
#if VELTRANE_HAVE_XLIB
    SDL_SysWMinfo system;
    SDL_VERSION(&system.version);
    if (SDL_GetWindowWMInfo(window, &system) != SDL_TRUE || system.subsystem != SDL_SYSWM_X11) return false;
    int opcode = 0;
    int event = 0;
    int error = 0;
    return XQueryExtension(system.info.x11.display, "DRI3", &opcode, &event, &error) == True;
#else
    return false;
#endif
}

}  // namespace

WindowFramebuffer::WindowFramebuffer(SDL_Window* window) : window_(window) {
    SDL_AddEventWatch(&WindowFramebuffer::noteWindowEvent, this);
}

WindowFramebuffer::~WindowFramebuffer() { SDL_DelEventWatch(&WindowFramebuffer::noteWindowEvent, this); }

// Called as SDL queues the event, right after it dropped the framebuffer.
int WindowFramebuffer::noteWindowEvent(void* framebuffer, SDL_Event* event) {
    auto* self = static_cast<WindowFramebuffer*>(framebuffer);
    if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
        event->window.windowID == SDL_GetWindowID(self->window_)) {
        self->dropped_ = true;
    }
    return 0;
}

bool WindowFramebuffer::attach(std::string& error) {
    dropped_ = false;
    surface_ = SDL_GetWindowSurface(window_);
    if (surface_ == nullptr) {
        error = SDL_GetError();
        return false;
    }
    const Uint32 format = surface_->format->format;
    if (format != FORMAT_32 && format != FORMAT_24) {
        error = std::string("the window's framebuffer stores pixels as ") + SDL_GetPixelFormatName(format);
        surface_ = nullptr;
        return false;
    }
    return true;
}

std::int32_t WindowFramebuffer::width() const {
    int width = 0;
    if (!dropped_) return surface_ != nullptr ? surface_->w : 0;
    SDL_GetWindowSizeInPixels(window_, &width, nullptr);
    return width;
}

std::int32_t WindowFramebuffer::height() const {
    int height = 0;
    if (!dropped_) return surface_ != nullptr ? surface_->h : 0;
    SDL_GetWindowSizeInPixels(window_, nullptr, &height);
    return height;
}

bool WindowFramebuffer::lock(LockedSurface& locked) {
    std::string error;
    if (dropped_ && !attach(error)) return false;
    locked.pixels = static_cast<std::uint8_t*>(surface_->pixels);
    locked.pitch = surface_->pitch;
    locked.width = surface_->w;
    locked.height = surface_->h;
    locked.bitsPerPixel = surface_->format->BitsPerPixel == 24 ? 24 : 32;
    return isDrawable(locked);
}

SdlDisplay::SdlDisplay() = default;

SdlDisplay::~SdlDisplay() {
    destroyWindow();
    if (videoReady_) SDL_Quit();
}

bool SdlDisplay::initialise(std::string& error) {
    // One surface pixel must be one screen pixel, also on a scaled display.
    SDL_SetHint(SDL_HINT_VIDEO_HIGHDPI_DISABLED, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // A driver the user names is tried as named (and refused below when it
    // shows nothing); otherwise only the drivers with a screen are tried.
    const std::string requested = environmentValue("SDL_VIDEODRIVER");
    const std::string candidates = screenDrivers();
    if (requested.empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, candidates.c_str());
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        // SDL_GetError() names only the clean-up after the failed start here,
        // so the drivers that were tried say what SDL could not do.
        error = "cannot open a screen: " + missingScreenReason() + " (SDL could start none of its video drivers: " +
                (requested.empty() ? candidates : requested) + ")";
        return false;
    }
    videoReady_ = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || showsNothing(driver)) {
        error = std::string("cannot open a screen: SDL's video driver \"") + (driver ? driver : "") +
                "\" shows nothing" + (requested.empty() ? "" : " (chosen by SDL_VIDEODRIVER)") +
                "; the pages need a real display";
        return false;
    }
    return true;
}

std::string SdlDisplay::driver() const {
    const char* name = SDL_GetCurrentVideoDriver();
    return name != nullptr ? name : "";
}

bool SdlDisplay::desktopSize(int displayIndex, std::int32_t& width, std::int32_t& height, std::string& error) const {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(displayIndex, &mode) != 0) {
        error = SDL_GetError();
        return false;
    }
    width = mode.w;
    height = mode.h;
    return true;
}

bool SdlDisplay::createWindow(int displayIndex, std::int32_t width, std::int32_t height, std::string& error) {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(displayIndex, &mode) == 0 && mode.refresh_rate > 0) refreshRate_ = mode.refresh_rate;
    displayIndex_ = displayIndex;
    // On X11 the window is placed over the whole display and asks for the
    // full-screen state after the first page (enterFullScreen).
    fullScreenLater_ = driver() == "x11";
    // The display number carried in the position puts the full-screen window
    // on that display; a window of the display's size is centred on it, so
    // it covers it.
    window_ = SDL_CreateWindow("BaseForm", SDL_WINDOWPOS_UNDEFINED_DISPLAY(displayIndex),
                               SDL_WINDOWPOS_UNDEFINED_DISPLAY(displayIndex), width, height,
                               SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALLOW_HIGHDPI |
                                   (fullScreenLater_ ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP));
    if (window_ == nullptr) {
        error = SDL_GetError();
        return false;
    }
    return true;
}

bool SdlDisplay::framebufferChosen() const {
    if (driver() != "x11") return false;
    // The user's choice through SDL's own setting wins: "0" for the
    // framebuffer, anything else (a renderer's name, "1") for the renderer.
    const char* asked = SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    if (asked != nullptr && *asked != '\0') return SDL_GetHintBoolean(SDL_HINT_FRAMEBUFFER_ACCELERATION, SDL_TRUE) == SDL_FALSE;
    return !xServerRendersOnCard(window_);
}

bool SdlDisplay::createPresentation(std::string& error) {
    // The framebuffer's pixel layout is the window's: one the drawers cannot
    // write (a 16- or 30-bit screen) leaves the window to the renderer, which
    // converts.
    const Uint32 windowFormat = SDL_GetWindowPixelFormat(window_);
    if ((windowFormat == FORMAT_32 || windowFormat == FORMAT_24) && framebufferChosen()) {
        // SDL's native X11 framebuffer, not one it would make with a renderer of its own.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        auto framebuffer = std::make_unique<WindowFramebuffer>(window_);
        std::string why;
        if (framebuffer->attach(why)) {
            framebuffer_ = std::move(framebuffer);
            rendererName_ = "window framebuffer";
            return true;
        }
        warnOnce("the pages go through SDL's renderer, with one more copy of each page: " + why);
    }
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (renderer_ == nullptr) {
        error = SDL_GetError();
        return false;
    }
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(renderer_, &info) == 0) {
        vsync_ = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
        rendererName_ = info.name != nullptr ? info.name : "";
    }
    SDL_SysWMinfo system;
    SDL_VERSION(&system.version);
    if (SDL_GetWindowWMInfo(window_, &system) == SDL_TRUE && system.subsystem == SDL_SYSWM_WAYLAND) {
        waylandDisplay_ = system.info.wl.display;
        attachWaylandPresentation();
    }
    return createBackBufferAndTexture(error);
}

#if VELTRANE_HAVE_WAYLAND
void SdlDisplay::attachWaylandPresentation() {
    SDL_SysWMinfo system;
    SDL_VERSION(&system.version);
    if (SDL_GetWindowWMInfo(window_, &system) != SDL_TRUE) return;
    std::string why;
    wayland_ = WaylandPresenter::attach(system.info.wl.display, system.info.wl.surface, why);
    if (!wayland_) {
        warnOnce("the pages go through SDL's own Wayland presentation, which misses or resamples pixels at "
                 "some scales (" + why + ")");
    }
}

std::optional<WaylandOutput> SdlDisplay::windowOutput() const {
    const std::vector<WaylandOutput> outputs = wayland_->registry().outputs();
    if (outputs.empty()) return std::nullopt;
    // SDL places its displays where xdg-output does; its numbering follows
    // the compositor's announcements, which is the fallback.
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(displayIndex_, &bounds) == 0) {
        for (const WaylandOutput& output : outputs) {
            if (output.logicalX == bounds.x && output.logicalY == bounds.y) return output;
        }
    }
    const auto index = static_cast<std::size_t>(std::max(displayIndex_, 0));
    return outputs[index < outputs.size() ? index : 0];
}

void SdlDisplay::presentOnWayland() {
    wayland_->dispatchPending();
    const std::optional<WaylandOutput> output = windowOutput();
    int windowWidth = 0;
    int windowHeight = 0;
    SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
    std::optional<OutputScale> scale = output ? wayland_->scaleFor(*output) : std::nullopt;
    if (!scale) {
        // No logical size fits a scale: the nearest whole one, as SDL would.
        const int whole = windowWidth > 0 ? std::max(1, (backBuffer_->width() + windowWidth / 2) / windowWidth) : 1;
        scale = OutputScale{whole * 120};
    }
    const PageLayout layout = layOutPage(backBuffer_->width(), backBuffer_->height(), windowWidth, windowHeight, *scale);
    if (layout.uncoveredPixels > 0 && output) {
        warnOnce("at scale " + describeScale(*scale) + " the compositor gives the window " + std::to_string(windowWidth) +
                 "x" + std::to_string(windowHeight) + " logical pixels, which do not reach every pixel of " +
                 output->name + " (" + std::to_string(output->pixelWidth) + "x" + std::to_string(output->pixelHeight) +
                 "): " + std::to_string(layout.uncoveredPixels) + " pixels at its right and bottom edges stay black");
    }
    // SDL makes the window's xdg_surface when it shows the window.
    SDL_SysWMinfo system;
    SDL_VERSION(&system.version);
    xdg_surface* role = SDL_GetWindowWMInfo(window_, &system) == SDL_TRUE ? system.info.wl.xdg_surface : nullptr;
    if (wayland_->present(*backBuffer_, windowWidth, windowHeight, *scale, role)) windowSurfaceShown_ = false;
    if (!windowSurfaceShown_) {
        // SDL's own surface, beneath the page: its commit also puts the
        // sub-surfaces where they were just placed.
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderPresent(renderer_);
        windowSurfaceShown_ = true;
    }
}

bool SdlDisplay::outputsChanged() {
    if (!wayland_) return false;
    wayland_->dispatchPending();
    const std::uint64_t changes = wayland_->registry().outputChanges();
    if (changes == outputChangesSeen_) return false;
    outputChangesSeen_ = changes;
    return true;
}

std::optional<std::string> SdlDisplay::connectionLost() const {
    if (waylandDisplay_ == nullptr) return std::nullopt;
    const int code = wl_display_get_error(waylandDisplay_);
    if (code == 0) return std::nullopt;
    return "the Wayland compositor closed the connection (" + std::string(std::strerror(code)) + ")";
}
#else
void SdlDisplay::attachWaylandPresentation() {
    warnOnce("this build has no Wayland presentation of its own: the pages go through SDL's, which misses or "
             "resamples pixels at some scales");
}
std::optional<WaylandOutput> SdlDisplay::windowOutput() const { return std::nullopt; }
void SdlDisplay::presentOnWayland() {}
bool SdlDisplay::outputsChanged() { return false; }
std::optional<std::string> SdlDisplay::connectionLost() const { return std::nullopt; }
#endif

bool SdlDisplay::pagePixelSize(int& width, int& height) {
#if VELTRANE_HAVE_WAYLAND
    if (wayland_) {
        wayland_->dispatchPending();
        if (const auto output = windowOutput(); output && output->pixelWidth > 0) {
            width = output->pixelWidth;
            height = output->pixelHeight;
            return true;
        }
    }
#endif
    return SDL_GetRendererOutputSize(renderer_, &width, &height) == 0 && width > 0 && height > 0;
}

void SdlDisplay::warnOnce(const std::string& warning) {
    if (std::find(warned_.begin(), warned_.end(), warning) != warned_.end()) return;
    warned_.push_back(warning);
    warnings_.push_back(warning);
}

std::vector<std::string> SdlDisplay::takeWarnings() {
    std::vector<std::string> taken;
    taken.swap(warnings_);
    return taken;
}

bool SdlDisplay::createBackBufferAndTexture(std::string& error) {
    int width = 0;
    int height = 0;
    if (!pagePixelSize(width, height)) {
        error = SDL_GetError();
        return false;
    }
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    texture_ = nullptr;
    if (wayland_) {
        // The sub-surfaces take 32-bit pixels straight from the back buffer.
        backBuffer_ = std::make_unique<MemorySurface>(width, height, 32);
        backBufferChanged_ = true;
        return true;
    }
    int bitsPerPixel = 32;
    texture_ = SDL_CreateTexture(renderer_, FORMAT_32, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (texture_ == nullptr) {
        bitsPerPixel = 24;
        texture_ = SDL_CreateTexture(renderer_, FORMAT_24, SDL_TEXTUREACCESS_STREAMING, width, height);
    }
    if (texture_ == nullptr) {
        error = SDL_GetError();
        return false;
    }
    backBuffer_ = std::make_unique<MemorySurface>(width, height, bitsPerPixel);
    backBufferChanged_ = true;
    return true;
}

void SdlDisplay::show() {
    SDL_ShowWindow(window_);
    SDL_RaiseWindow(window_);
    presentWanted_ = true;
}

void SdlDisplay::enterFullScreen() {
    if (!fullScreenLater_ || window_ == nullptr) return;
    fullScreenLater_ = false;
    SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    presentWanted_ = true;
}

Surface& SdlDisplay::backBuffer() {
    if (framebuffer_) return *framebuffer_;
    return *backBuffer_;
}

std::int32_t SdlDisplay::width() const { return framebuffer_ ? framebuffer_->width() : backBuffer_->width(); }
std::int32_t SdlDisplay::height() const { return framebuffer_ ? framebuffer_->height() : backBuffer_->height(); }

void SdlDisplay::destroyWindow() {
    framebuffer_.reset();
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    // After the window: the compositor names our wl_output objects in the
    // events of SDL's surface too, and SDL reads them while it destroys the
    // window (a destroyed one would reach it as null and crash it). Sub-
    // surfaces may outlive their parent.
    wayland_.reset();
}

bool SdlDisplay::followOutputSize() {
    if (framebuffer_) {
        // SDL makes a new framebuffer at the window's new size; the page is
        // then drawn into it again.
        presentWanted_ = true;
        return framebuffer_->replaced();
    }
    if (renderer_ == nullptr) return false;
    // Presented in every case: a new scale changes how the window's logical
    // pixels meet the output's, though the page's size may stay the same.
    presentWanted_ = true;
    windowSurfaceShown_ = false;
    int width = 0;
    int height = 0;
    if (!pagePixelSize(width, height)) return false;
    if (width == backBuffer_->width() && height == backBuffer_->height()) return false;
    std::string error;
    if (!createBackBufferAndTexture(error)) return false;
    presentWanted_ = true;
    return true;
}

void SdlDisplay::recoverFromReset(bool deviceReset) {
    // After a device reset every texture is gone; after a targets reset the
    // texture survives but the frame does not. Either way the page is drawn
    // again, and drawing it marks the back buffer for upload.
    windowSurfaceShown_ = false;
    if (deviceReset && texture_ != nullptr) {
        SDL_DestroyTexture(texture_);
        const Uint32 format = backBuffer_->bitsPerPixel() == 32 ? FORMAT_32 : FORMAT_24;
        texture_ = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING,
                                     backBuffer_->width(), backBuffer_->height());
    }
    presentWanted_ = true;
}

std::uint32_t SdlDisplay::msUntilNextFrame() const {
    // Paced by the clock even where the renderer claims vsync: some claim it
    // without waiting (a virtual screen has no vertical blank), and where the
    // wait is real a whole period has passed by the next frame anyway.
    if (lastPresentTicks_ == 0) return 0;
    const std::uint64_t period = 1000 / static_cast<std::uint64_t>(refreshRate_ > 0 ? refreshRate_ : DEFAULT_REFRESH_RATE);
    const std::uint64_t elapsed = SDL_GetTicks64() - lastPresentTicks_;
    return elapsed >= period ? 0 : static_cast<std::uint32_t>(period - elapsed);
}

void SdlDisplay::present() {
    if (framebuffer_) {
        // The X server copies the shared image before this returns (SDL
        // waits for it), so the next page drawn into it cannot show half
        // drawn. A dropped framebuffer holds no page until it is drawn again.
        if (!framebuffer_->replaced()) SDL_UpdateWindowSurface(window_);
    } else if (wayland_) {
        presentOnWayland();
    } else {
        if (backBufferChanged_ && texture_ != nullptr) {
            SDL_UpdateTexture(texture_, nullptr, backBuffer_->bytes().data(), backBuffer_->pitch());
        }
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }
    backBufferChanged_ = false;
    presentWanted_ = false;
    lastPresentTicks_ = SDL_GetTicks64();
    if (lastPresentTicks_ == 0) lastPresentTicks_ = 1;
}

}  // namespace veltrane
