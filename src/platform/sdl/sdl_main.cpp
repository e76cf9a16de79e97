// The Linux program's entry point: the SDL primitives of the shared program
// flow (app/program_flow.h), so the start-up order, key handling, pages,
// caption, settings and exit codes are the Windows program's, on SDL2.
// Start-up: page 0; the display (SDL video); the screen size and the window;
// the settings; the renderer, back buffer and texture; the first page; the
// window shown; then the event loop until Escape or a close request, the
// settings saved, exit code 0. A failure of the window, the renderer or the
// back buffer ends the run with -1 and saves nothing.
// Depends on the core (key map, program flow, settings codec), the SDL
// display and key translation, the FreeType caption text and the settings file.
#include <cstdio>
#include <memory>
#include <string>

#include <SDL.h>

#include "app/key_map.h"
#include "app/program_flow.h"
#include "calibration/settings_codec.h"
#include "platform/freetype/freetype_text_renderer.h"
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/sdl_key_translation.h"
#include "platform/xdg/settings_file_store.h"

namespace {

using namespace veltrane;

void showMessage(const char* caption, const std::string& text, Uint32 kind) {
    std::fprintf(stderr, "veltrane: %s: %s\n", caption, text.c_str());
    SDL_ShowSimpleMessageBox(kind, caption, text.c_str(), nullptr);
}

class Program final : public ProgramPlatform {
public:
    bool openDisplay() override {
        std::string error;
        if (display.initialise(error)) return true;
        std::fprintf(stderr, "veltrane: cannot use the display: %s\n", error.c_str());
        showMessage("Error", "Error in initializing DirectDraw", SDL_MESSAGEBOX_ERROR);
        return false;
    }

    bool createWindow() override {
        std::string error;
        std::int32_t screenWidth = 0;
        std::int32_t screenHeight = 0;
        if (display.desktopSize(screenWidth, screenHeight, error) &&
            display.createWindow(screenWidth, screenHeight, error)) {
            return true;
        }
        std::fprintf(stderr, "veltrane: cannot create the window: %s\n", error.c_str());
        return false;
    }

    bool setUpScreen() override {
        std::string error;
        if (!display.createPresentation(error)) {
            std::fprintf(stderr, "veltrane: cannot set up the screen: %s\n", error.c_str());
            display.destroyWindow();
            return false;
        }
        std::string problem;
        captionText = FreeTypeTextRenderer::createFromFontconfig(problem);
        if (!captionText) std::fprintf(stderr, "%s (%s)\n", NO_CAPTION_FONT_MESSAGE, problem.c_str());
        return true;
    }

    void showWindow() override {
        display.show();
        display.present();
    }

    SettingsStore& settingsStore() override { return settings; }

    PageTarget pageTarget() override {
        return {display.backBuffer(), captionText.get(), display.width(), display.height()};
    }
    void notePageDrawn() override { display.notePageDrawn(); }

    void runLoop() override;
    void presentNow() override { display.requestPresent(); }
    void endRun() override { running = false; }

    void releaseScreen() override { display.destroyWindow(); }

    void reportSettingsNotSaved(const ColorCalibration& calibration) override {
        for (const std::string& message : settingsFailureMessages(calibration)) {
            showMessage(std::string(SETTINGS_FAILURE_CAPTION).c_str(), message, SDL_MESSAGEBOX_INFORMATION);
        }
    }

    ControlState state;

private:
    void handleEvent(const SDL_Event& event);
    void handleKeyDownEvent(const SDL_Keysym& key);
    void handleWindowEvent(const SDL_WindowEvent& event);
    void drawPage() { drawCurrentPage(*this, state); }

    SdlDisplay display;
    std::unique_ptr<FreeTypeTextRenderer> captionText;
    SettingsFileStore settings{defaultSettingsFilePath().value_or(std::string())};
    bool running = true;
};

void Program::handleKeyDownEvent(const SDL_Keysym& key) {
    const TranslatedKey translated = translateKeyDown(key);
    if (translated.route == KeyRoute::Close) {
        running = false;
        return;
    }
    if (translated.route == KeyRoute::SystemKey) return;
    // Auto-repeat arrives as further presses and repeats the action.
    onKeyDown(*this, state, translated.virtualKey);
}

void Program::handleWindowEvent(const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_LOST: handleFocusLost(state); break;
        case SDL_WINDOWEVENT_CLOSE: running = false; break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESIZED:
            if (display.followOutputSize()) drawPage();
            break;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            if (display.followOutputSize()) drawPage();
            display.requestPresent();
            break;
        default: break;
    }
}

void Program::handleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: running = false; break;
        case SDL_KEYDOWN: handleKeyDownEvent(event.key.keysym); break;
        case SDL_KEYUP: {
            const TranslatedKey translated = translateKeyUp(event.key.keysym);
            if (translated.route == KeyRoute::KeyMap) handleKeyUp(state, translated.virtualKey);
            break;
        }
        case SDL_WINDOWEVENT: handleWindowEvent(event.window); break;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            // The analogue of lost surfaces: the page is drawn again and presented.
            display.recoverFromReset(event.type == SDL_RENDER_DEVICE_RESET);
            drawPage();
            break;
        default: break;
    }
}

void Program::runLoop() {
    SDL_Event event;
    while (running) {
        // With nothing to show the thread sleeps until the next event; with a
        // frame pending it waits at most until the frame is due.
        const bool gotEvent = display.presentPending()
                                  ? SDL_WaitEventTimeout(&event, static_cast<int>(display.msUntilNextFrame())) != 0
                                  : SDL_WaitEvent(&event) != 0;
        if (gotEvent) {
            handleEvent(event);
            while (running && SDL_PollEvent(&event) != 0) handleEvent(event);
        }
        if (running && display.presentPending() && display.msUntilNextFrame() == 0) display.present();
    }
}

}  // namespace

int main(int, char**) {
    Program program;
    return runProgram(program, program.state);
}
