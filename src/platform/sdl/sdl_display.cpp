#include "platform/sdl/sdl_display.h"

#include <cstdlib>
#include <string_view>

namespace veltrane {
namespace {

constexpr int DEFAULT_REFRESH_RATE = 60;

// Drivers that run without any screen: SDL falls back to them when no real
// one starts, and the program would then run on, invisible, for ever.
bool showsNothing(std::string_view driver) {
    return driver == "offscreen" || driver == "dummy" || driver == "evdev";
}

// Every compiled-in driver that puts pictures on a screen, in SDL's own
// order of preference, as the comma-separated list SDL's driver hint takes.
std::string screenDrivers() {
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (name == nullptr || showsNothing(name)) continue;
        if (!list.empty()) list += ',';
        list += name;
    }
    return list;
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

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

}  // namespace

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
    // The display number carried in the position puts the full-screen window on that display.
    window_ = SDL_CreateWindow("BaseForm", SDL_WINDOWPOS_UNDEFINED_DISPLAY(displayIndex),
                               SDL_WINDOWPOS_UNDEFINED_DISPLAY(displayIndex), width, height,
                               SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS |
                                   SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window_ == nullptr) {
        error = SDL_GetError();
        return false;
    }
    return true;
}

bool SdlDisplay::createPresentation(std::string& error) {
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
    return createBackBufferAndTexture(error);
}

bool SdlDisplay::createBackBufferAndTexture(std::string& error) {
    int width = 0;
    int height = 0;
    if (SDL_GetRendererOutputSize(renderer_, &width, &height) != 0 || width <= 0 || height <= 0) {
        error = SDL_GetError();
        return false;
    }
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
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

void SdlDisplay::destroyWindow() {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
}

bool SdlDisplay::followOutputSize() {
    int width = 0;
    int height = 0;
    if (renderer_ == nullptr || SDL_GetRendererOutputSize(renderer_, &width, &height) != 0) return false;
    if (width <= 0 || height <= 0 || (width == backBuffer_->width() && height == backBuffer_->height())) {
        return false;
    }
    std::string error;
    if (!createBackBufferAndTexture(error)) return false;
    presentWanted_ = true;
    return true;
}

void SdlDisplay::recoverFromReset(bool deviceReset) {
    // After a device reset every texture is gone; after a targets reset the
    // texture survives but the frame does not. Either way the page is drawn
    // again, and drawing it marks the back buffer for upload.
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
    if (backBufferChanged_ && texture_ != nullptr) {
        SDL_UpdateTexture(texture_, nullptr, backBuffer_->bytes().data(), backBuffer_->pitch());
        backBufferChanged_ = false;
    }
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
    presentWanted_ = false;
    lastPresentTicks_ = SDL_GetTicks64();
    if (lastPresentTicks_ == 0) lastPresentTicks_ = 1;
}

}  // namespace veltrane
