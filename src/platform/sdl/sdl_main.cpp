// The Linux program's entry point: the same start-up order, key handling,
// pages, caption, settings and exit codes as the Windows program, on SDL2.
// Start-up: page 0; the display (SDL video); the screen size; the window;
// the settings; the renderer, back buffer and texture; the first page; the
// window shown; then the event loop until Escape or a close request, the
// settings saved, exit code 0. A failure of the window, the renderer or the
// back buffer ends the run with -1 and saves nothing.
// Depends on the core (key map, page renderer, settings codec), the SDL
// display and key translation, the FreeType caption text and the settings file.
#include <cstdio>
#include <memory>
#include <string>

#include <SDL.h>

#include "app/key_map.h"
#include "calibration/settings_codec.h"
#include "freetype_text_renderer.h"
#include "patterns/render_page.h"
#include "sdl_display.h"
#include "sdl_key_translation.h"
#include "settings_file_store.h"

namespace {

using namespace veltrane;

constexpr int EXIT_START_UP_FAILED = -1;

struct Program {
    ControlState state;
    SdlDisplay display;
    std::unique_ptr<FreeTypeTextRenderer> captionText;
    bool running = true;
    // Set by keys that change the page; the loop draws once when the events
    // already waiting are all applied, so a held or flooded key never queues
    // up one whole page per press.
    bool pageDirty = false;

    void drawPage() {
        renderPage({display.backBuffer(), captionText.get(), display.width(), display.height()},
                   state.currentPage, state.calibration);
    }
};

void showMessage(const char* caption, const std::string& text, Uint32 kind) {
    std::fprintf(stderr, "veltrane: %s: %s\n", caption, text.c_str());
    SDL_ShowSimpleMessageBox(kind, caption, text.c_str(), nullptr);
}

void handleKeyDownEvent(Program& program, const SDL_Keysym& key) {
    const TranslatedKey translated = translateKeyDown(key);
    if (translated.route == KeyRoute::Close) {
        program.running = false;
        return;
    }
    if (translated.route == KeyRoute::SystemKey) return;
    // Auto-repeat arrives as further presses and repeats the action.
    switch (handleKeyDown(program.state, translated.virtualKey)) {
        case KeyEffect::Nothing: break;
        case KeyEffect::Redraw: program.pageDirty = true; break;
        case KeyEffect::RedrawAndUpdate:
            program.pageDirty = true;
            program.display.requestPresent();
            break;
        case KeyEffect::Quit: program.running = false; break;
    }
}

void handleWindowEvent(Program& program, const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_LOST: handleFocusLost(program.state); break;
        case SDL_WINDOWEVENT_CLOSE: program.running = false; break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESIZED:
            if (program.display.followOutputSize()) program.drawPage();
            break;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            if (program.display.followOutputSize()) program.drawPage();
            program.display.requestPresent();
            break;
        default: break;
    }
}

void handleEvent(Program& program, const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: program.running = false; break;
        case SDL_KEYDOWN: handleKeyDownEvent(program, event.key.keysym); break;
        case SDL_KEYUP: {
            const TranslatedKey translated = translateKeyUp(event.key.keysym);
            if (translated.route == KeyRoute::KeyMap) handleKeyUp(program.state, translated.virtualKey);
            break;
        }
        case SDL_WINDOWEVENT: handleWindowEvent(program, event.window); break;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            // The analogue of lost surfaces: the page is drawn again and presented.
            program.display.recoverFromReset(event.type == SDL_RENDER_DEVICE_RESET);
            program.drawPage();
            break;
        default: break;
    }
}

void runEventLoop(Program& program) {
    SDL_Event event;
    while (program.running) {
        SdlDisplay& display = program.display;
        // With nothing to show the thread sleeps until the next event; with a
        // frame pending it waits at most until the frame is due.
        const bool gotEvent = display.presentPending()
                                  ? SDL_WaitEventTimeout(&event, static_cast<int>(display.msUntilNextFrame())) != 0
                                  : SDL_WaitEvent(&event) != 0;
        if (gotEvent) {
            handleEvent(program, event);
            while (program.running && SDL_PollEvent(&event) != 0) handleEvent(program, event);
        }
        if (program.running && program.pageDirty) {
            program.drawPage();
            program.pageDirty = false;
        }
        if (program.running && display.presentPending() && display.msUntilNextFrame() == 0) display.present();
    }
}

}  // namespace

int main(int, char**) {
    Program program;
    program.state.currentPage = 0;

    std::string error;
    if (!program.display.initialise(error)) {
        std::fprintf(stderr, "veltrane: cannot use the display: %s\n", error.c_str());
        showMessage("Error", "Error in initializing DirectDraw", SDL_MESSAGEBOX_ERROR);
        return EXIT_START_UP_FAILED;
    }

    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    if (!program.display.desktopSize(screenWidth, screenHeight, error) ||
        !program.display.createWindow(screenWidth, screenHeight, error)) {
        std::fprintf(stderr, "veltrane: cannot create the window: %s\n", error.c_str());
        return EXIT_START_UP_FAILED;
    }

    SettingsFileStore settings(defaultSettingsFilePath().value_or(std::string()));
    loadCalibration(settings, program.state.calibration);

    if (!program.display.createPresentation(error)) {
        std::fprintf(stderr, "veltrane: cannot set up the screen: %s\n", error.c_str());
        program.display.destroyWindow();
        return EXIT_START_UP_FAILED;
    }

    std::string problem;
    program.captionText = FreeTypeTextRenderer::createFromFontconfig(problem);
    if (!program.captionText) std::fprintf(stderr, "%s (%s)\n", NO_CAPTION_FONT_MESSAGE, problem.c_str());

    program.drawPage();
    program.display.show();
    program.display.present();

    runEventLoop(program);

    // The window goes first, as it does on Windows, so that any message about
    // the settings is not hidden behind a full-screen window.
    program.display.destroyWindow();
    if (!saveCalibration(settings, program.state.calibration)) {
        for (const std::string& message : settingsFailureMessages(program.state.calibration)) {
            showMessage(std::string(SETTINGS_FAILURE_CAPTION).c_str(), message, SDL_MESSAGEBOX_INFORMATION);
        }
    }
    return 0;
}
