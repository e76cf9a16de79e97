// The Linux program's entry point: the same start-up order, key handling,
// pages, caption, settings and exit codes as the Windows program, on SDL2.
// Start-up: the command line (help, version and mistakes are answered
// before any display is touched); page 0; the display (SDL video on a driver
// with a screen); the monitor (--display N, else the primary), its screen
// size; the window; the settings; the renderer, back buffer and texture; the
// first page; the window shown (the pointer hidden); then the event loop
// until Escape or a close request, the settings saved, exit code 0. No
// screen, or a failure of the window, the renderer or the back buffer, ends
// the run with -1 and saves nothing.
// Depends on the core (key map, page renderer, settings codec), the SDL
// display and key translation, the FreeType caption text and the settings file.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SDL.h>

#include "app/key_map.h"
#include "calibration/settings_codec.h"
#include "command_line.h"
#include "display_choice.h"
#include "freetype_text_renderer.h"
#include "patterns/render_page.h"
#include "sdl_display.h"
#include "sdl_key_translation.h"
#include "sdl_monitors.h"
#include "sdl_pointer.h"
#include "settings_file_store.h"
#if VELTRANE_HAVE_XRANDR
#include "program_ramps.h"
#endif

namespace {

using namespace veltrane;

constexpr int EXIT_START_UP_FAILED = -1;

struct Program {
    ControlState state;
    SdlDisplay display;
    SdlPointer pointer;
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

// A box the user answers with OK. Where none can be shown (no display, or
// no font for SDL's own X11 box) standard error says so, so a message that
// only went to standard error is known to have gone nowhere else.
void showBox(const char* caption, const std::string& text, Uint32 kind, SDL_Window* owner) {
    if (SDL_ShowSimpleMessageBox(kind, caption, text.c_str(), owner) != 0) {
        std::fprintf(stderr, "veltrane: the box \"%s\" could not be shown: %s\n", caption, SDL_GetError());
    }
}

void showMessage(const char* caption, const std::string& text, Uint32 kind) {
    std::fprintf(stderr, "veltrane: %s: %s\n", caption, text.c_str());
    showBox(caption, text, kind, nullptr);
}

// Without a caption font the pages lack their title and values, which the
// user would otherwise only learn from a terminal they may not be looking at.
void reportMissingCaptionFont(Program& program, const std::string& problem) {
    std::fprintf(stderr, "%s (%s)\n", NO_CAPTION_FONT_MESSAGE, problem.c_str());
    std::string text = NO_CAPTION_FONT_MESSAGE;
    constexpr std::string_view prefix = "veltrane: ";  // the terminal's tag, not the box's
    if (text.starts_with(prefix)) text.erase(0, prefix.size());
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    showBox("No caption font", text + "\n\n(" + problem + ")", SDL_MESSAGEBOX_WARNING, program.display.window());
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
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            // Shift or Ctrl may have been pressed or released elsewhere.
            program.state.keys = keyStateFromModifiers(static_cast<std::uint16_t>(SDL_GetModState()));
            break;
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
        case SDL_MOUSEMOTION: program.pointer.moved(event.motion.x, event.motion.y); break;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            // The analogue of lost surfaces: the page is drawn again and presented.
            program.display.recoverFromReset(event.type == SDL_RENDER_DEVICE_RESET);
            program.drawPage();
            break;
        default: break;
    }
}

// How long the loop may sleep: until a pending frame is due or the pointer
// is to hide, whichever comes first; -1 when nothing is waited for.
int waitTimeoutMs(const Program& program) {
    std::optional<std::uint32_t> timeout = program.pointer.msUntilHidden();
    if (program.display.presentPending()) {
        const std::uint32_t frame = program.display.msUntilNextFrame();
        timeout = timeout ? std::min(*timeout, frame) : frame;
    }
    return timeout ? static_cast<int>(*timeout) : -1;
}

void runEventLoop(Program& program) {
    SDL_Event event;
    while (program.running) {
        SdlDisplay& display = program.display;
        // With nothing to do the thread sleeps until the next event.
        const int timeout = waitTimeoutMs(program);
        const bool gotEvent = timeout < 0 ? SDL_WaitEvent(&event) != 0 : SDL_WaitEventTimeout(&event, timeout) != 0;
        if (gotEvent) {
            handleEvent(program, event);
            while (program.running && SDL_PollEvent(&event) != 0) handleEvent(program, event);
        }
        if (program.running && program.pageDirty) {
            program.drawPage();
            program.pageDirty = false;
        }
        if (program.running && display.presentPending() && display.msUntilNextFrame() == 0) display.present();
        program.pointer.hideWhenStill();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = parseCommandLine(argc, argv, std::cout, std::cerr);
    if (commandLine.action == CommandLineAction::Exit) return commandLine.exitCode;

    Program program;
    program.state.currentPage = 0;

    std::string error;
    if (!program.display.initialise(error)) {
        // The Windows program's "Error in initializing DirectDraw" would name
        // a part this program does not have; the user needs Linux's reason.
        showMessage("Error", error, SDL_MESSAGEBOX_ERROR);
        return EXIT_START_UP_FAILED;
    }

    const std::vector<Monitor> monitors = listSdlMonitors();
    if (monitors.empty()) {
        // Not the user's mistake: the video system started but offers no screen.
        std::fprintf(stderr, "veltrane: cannot use the display: no monitor was found\n");
        return EXIT_START_UP_FAILED;
    }
    if (commandLine.action == CommandLineAction::ListDisplays) {
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            std::printf("%s\n", describeMonitor(static_cast<int>(i), monitors[i]).c_str());
        }
        return 0;
    }
    const MonitorChoice monitor = chooseMonitor(monitors, commandLine.display);
    if (!monitor.index) {
        // Said on the terminal only: a message box would be the window the user did not get.
        std::fprintf(stderr, "veltrane: %s\n", monitor.error.c_str());
        return EXIT_USAGE_ERROR;
    }

    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    if (!program.display.desktopSize(*monitor.index, screenWidth, screenHeight, error) ||
        !program.display.createWindow(*monitor.index, screenWidth, screenHeight, error)) {
        std::fprintf(stderr, "veltrane: cannot create the window: %s\n", error.c_str());
        return EXIT_START_UP_FAILED;
    }

    SettingsFileStore settings(defaultSettingsFilePath().value_or(std::string()));
    loadCalibration(settings, program.state.calibration);
    for (const std::string& warning : settings.readWarnings()) {
        std::fprintf(stderr, "veltrane: %s\n", warning.c_str());
    }
#if VELTRANE_HAVE_XRANDR
    // The pages carry the correction themselves: ramps holding our table go
    // to identity for the run (and get it back on every way out).
    const auto ownRamps = ProgramRamps::takeOver(program.state.calibration);
#endif

    if (!program.display.createPresentation(error)) {
        std::fprintf(stderr, "veltrane: cannot set up the screen: %s\n", error.c_str());
        program.display.destroyWindow();
        return EXIT_START_UP_FAILED;
    }

    std::string problem;
    program.captionText = FreeTypeTextRenderer::createFromFontconfig(problem);

    program.drawPage();
    program.display.show();
    program.pointer.hide();
    program.display.present();
    // Over the first page, so the user sees what the pages lack.
    if (!program.captionText) reportMissingCaptionFont(program, problem);

    runEventLoop(program);

    // The window goes first, as it does on Windows, so that any message about
    // the settings is not hidden behind a full-screen window.
    program.display.destroyWindow();
    const bool saved = saveCalibration(settings, program.state.calibration);
#if VELTRANE_HAVE_XRANDR
    if (ownRamps && saved) ownRamps->finish(program.state.calibration);
#endif
    if (!saved) {
        // The three texts stay as they have always been, line for line; the
        // first box adds where the values should have gone and why they did not.
        auto messages = settingsFailureMessages(program.state.calibration);
        messages[0] += "\n\nThese values could not be saved: " + settings.failure();
        for (const std::string& message : messages) {
            showMessage(std::string(SETTINGS_FAILURE_CAPTION).c_str(), message, SDL_MESSAGEBOX_INFORMATION);
        }
    }
    return 0;
}
