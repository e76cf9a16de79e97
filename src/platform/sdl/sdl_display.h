// The screen of the SDL program: a borderless full-screen window on the
// primary display at its desktop resolution, in real pixels on a scaled
// display; a back buffer in system memory (32 bits per pixel, or 24 where a
// 32-bit texture is refused) that the drawers lock like any Surface; and its
// presentation through a streaming texture. The texture is uploaded only when
// the back buffer changed, and a frame is presented only when there is
// something new to show or the window needs repainting, at most once per
// refresh period (vsync where the renderer has it, and the clock always).
// Idle, the program sleeps in the event queue.
// Depends on SDL2 and the core's in-memory surface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <SDL.h>

#include "display/memory_surface.h"

namespace veltrane {

class SdlDisplay {
public:
    SdlDisplay() = default;
    ~SdlDisplay();
    SdlDisplay(const SdlDisplay&) = delete;
    SdlDisplay& operator=(const SdlDisplay&) = delete;

    // The video subsystem on a driver that shows pictures: false, with what
    // is missing, when there is no display or SDL could only fall back to a
    // driver without a screen (offscreen, dummy).
    bool initialise(std::string& error);
    // The desktop size of display `displayIndex` (SDL's numbering) in the
    // units windows are sized in.
    bool desktopSize(int displayIndex, std::int32_t& width, std::int32_t& height, std::string& error) const;
    // The borderless full-screen window on display `displayIndex`, hidden until show().
    bool createWindow(int displayIndex, std::int32_t width, std::int32_t height, std::string& error);
    // The renderer, the back buffer at the renderer's output size in real
    // pixels, and the streaming texture (32 bits per pixel, else 24).
    bool createPresentation(std::string& error);
    void show();
    void destroyWindow();
    // The window, to own boxes shown over the pages; null once destroyed.
    SDL_Window* window() const { return window_; }

    MemorySurface& backBuffer() { return *backBuffer_; }
    std::int32_t width() const { return backBuffer_->width(); }
    std::int32_t height() const { return backBuffer_->height(); }

    // After a window event: when the output's pixel size differs from the back
    // buffer, both are made again at the new size and true says the page must
    // be drawn again.
    bool followOutputSize();
    // The renderer lost its targets or its device: the texture is made again
    // and the page must be drawn again (the caller does that).
    void recoverFromReset(bool deviceReset);

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
    bool createBackBufferAndTexture(std::string& error);

    bool videoReady_ = false;
    SDL_Window* window_ = nullptr;
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
