// The Linux program's entry point: the SDL primitives of the shared program
// flow (app/program_flow.h), so the start-up order, key handling, pages,
// caption, settings and exit codes are the Windows program's, on SDL2.
// Start-up: the command line (help, version and mistakes are answered before
// any display is touched); page 0; the display (SDL video on a driver with a
// screen, Wayland's first on a Wayland session) and the monitor (--display N,
// else the primary; --list-displays prints them and ends; on Wayland in
// pixels with their scale); its screen size and the window; the settings; the
// gamma ramps taken over on X11 and the desktop's calibration held off
// (colord); the window's framebuffer, or the renderer, back buffer and
// texture; the first page; the window shown (the pointer hidden), on X11 made
// full screen only then; then the event loop until Escape or a close
// request, the settings saved, exit code 0. No screen, or a failure of the
// window, the renderer or the back buffer, ends the run with -1 and saves
// nothing.
// Depends on the core (key map, program flow, settings codec), the SDL
// display, monitors, key translation and pointer, the command line, the
// FreeType caption text, the settings file, on X11 the gamma ramps, and the
// profile store with the profile exporter.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SDL.h>

#include "app/key_map.h"
#include "app/program_flow.h"
#include "calibration/settings_codec.h"
#include "platform/freetype/fontconfig_caption_font.h"
#include "platform/sdl/command_line.h"
#include "platform/sdl/display_choice.h"
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/sdl_key_translation.h"
#include "platform/sdl/sdl_monitors.h"
#include "platform/sdl/sdl_pointer.h"
#include "platform/xdg/settings_file_store.h"
#include "calibration/program_profiles.h"
#include "calibration/program_ramps.h"
#include "platform/lcms/calibration_exports.h"
#if VELTRANE_HAVE_WAYLAND
#include "platform/wayland/wayland_registry.h"
#endif

namespace {

using namespace veltrane;

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

class Program final : public ProgramPlatform {
public:
    explicit Program(const CommandLine& commandLine) : commandLine(commandLine) {}

    StartUpStep openDisplay() override;

    StartUpStep createWindow() override {
        std::string error;
        std::int32_t screenWidth = 0;
        std::int32_t screenHeight = 0;
        if (display.desktopSize(monitorIndex, screenWidth, screenHeight, error) &&
            display.createWindow(monitorIndex, screenWidth, screenHeight, error)) {
            return StartUpStep::ok();
        }
        std::fprintf(stderr, "veltrane: cannot create the window: %s\n", error.c_str());
        return StartUpStep::stop();
    }

    StartUpStep setUpScreen() override {
        // The settings were read just before this step.
        for (const std::string& warning : settings.readWarnings()) {
            std::fprintf(stderr, "veltrane: %s\n", warning.c_str());
        }
        // The pages carry the correction themselves: ramps holding our table
        // go to identity for the run (and get it back on every way out). The
        // calibration has been loaded by now. Where the ramps cannot be
        // reached there is nothing to take over.
        std::string rampsUnreachable;
        ownRamps = ProgramRamps::takeOver(openDisplayRamps(rampsUnreachable), state.calibration);
        // Likewise the desktop's calibration, where its default profile is ours.
        std::string noProfileStore;
        ownProfiles = ProgramProfiles::holdOff(openProfileStore(noProfileStore), displayProfileFor,
            [](const std::string& message) { std::fprintf(stderr, "veltrane: %s\n", message.c_str()); });
        std::string error;
        if (!display.createPresentation(error)) {
            std::fprintf(stderr, "veltrane: cannot set up the screen: %s\n", error.c_str());
            display.destroyWindow();
            return StartUpStep::stop();
        }
        captionText = captionTextFromFontconfig(captionFontProblem);
        return StartUpStep::ok();
    }

    void showWindow() override {
        display.show();
        pointer.hide();
        display.present();
        // Only now: on X11 asking for it waits for an answer from a window
        // manager, which the first page need not wait for.
        display.enterFullScreen();
        printDisplayWarnings();
        // Over the first page, so the user sees what the pages lack.
        if (!captionText) reportMissingCaptionFont();
    }

    SettingsStore& settingsStore() override { return settings; }

    PageTarget pageTarget() override {
        return {display.backBuffer(), captionText.get(), display.width(), display.height(),
                &gammaRows};
    }
    void notePageDrawn() override { display.notePageDrawn(); }

    void runLoop() override;
    void presentNow() override { display.requestPresent(); }
    void endRun() override { running = false; }

    // The window goes before any message, as it does on Windows, so that a
    // box about the settings is not hidden behind a full-screen window.
    void releaseScreen() override { display.destroyWindow(); }

    void settingsSaved(const ColorCalibration& calibration) override {
        if (connectionLost) std::fprintf(stderr, "veltrane: %s; the values are saved\n", connectionLost->c_str());
        if (ownRamps) ownRamps->finish(calibration);
        if (ownProfiles) ownProfiles->finish(calibration);
    }

    void reportSettingsNotSaved(const ColorCalibration& calibration) override {
        // The three texts stay as they have always been, line for line; the
        // first box adds where the values should have gone and why they did not.
        if (connectionLost) std::fprintf(stderr, "veltrane: %s\n", connectionLost->c_str());
        auto messages = settingsFailureMessages(calibration);
        messages[0] += "\n\nThese values could not be saved: " + settings.failure();
        for (const std::string& message : messages) {
            showMessage(std::string(SETTINGS_FAILURE_CAPTION).c_str(), message, SDL_MESSAGEBOX_INFORMATION);
        }
    }

    ControlState state;

private:
    void handleEvent(const SDL_Event& event);
    void handleKeyDownEvent(const SDL_Keysym& key);
    void handleWindowEvent(const SDL_WindowEvent& event);
    int waitTimeoutMs() const;
    void drawPage() { drawCurrentPage(*this, state); }
    // Keys only mark the page; the loop draws it once when the events already
    // waiting are all applied, so a held or flooded key never queues up one
    // whole page per press.
    void pageChanged(const ControlState&) override { pageDirty = true; }
    void reportMissingCaptionFont();
    void printDisplayWarnings();
    bool listDisplays(const std::vector<Monitor>& monitors);
    void warnWhenXScreenIsScaled(const Monitor& monitor);

    CommandLine commandLine;
    int monitorIndex = 0;
    SdlDisplay display;
    SdlPointer pointer;
    std::unique_ptr<FreeTypeTextRenderer> captionText;
    std::string captionFontProblem;
    GammaCheckRows gammaRows;
    SettingsFileStore settings{defaultSettingsFilePath().value_or(std::string())};
    std::unique_ptr<ProgramRamps> ownRamps;
    std::unique_ptr<ProgramProfiles> ownProfiles;
    bool running = true;
    bool pageDirty = false;
    std::optional<std::string> connectionLost;  // why the display went away, when it did
};

StartUpStep Program::openDisplay() {
    std::string error;
    if (!display.initialise(error)) {
        // The Windows program's "Error in initializing DirectDraw" would name
        // a part this program does not have; the user needs Linux's reason.
        showMessage("Error", error, SDL_MESSAGEBOX_ERROR);
        return StartUpStep::stop();
    }

    const std::vector<Monitor> monitors = listSdlMonitors();
    if (monitors.empty()) {
        // Not the user's mistake: the video system started but offers no screen.
        std::fprintf(stderr, "veltrane: cannot use the display: no monitor was found\n");
        return StartUpStep::stop();
    }
    if (commandLine.action == CommandLineAction::ListDisplays) {
        return StartUpStep::stop(listDisplays(monitors) ? 0 : EXIT_START_UP_FAILED);
    }
    const MonitorChoice monitor = chooseMonitor(monitors, commandLine.display);
    if (!monitor.index) {
        // Said on the terminal only: a message box would be the window the user did not get.
        std::fprintf(stderr, "veltrane: %s\n", monitor.error.c_str());
        return StartUpStep::stop(EXIT_USAGE_ERROR);
    }
    monitorIndex = *monitor.index;
    warnWhenXScreenIsScaled(monitors[static_cast<std::size_t>(monitorIndex)]);
    return StartUpStep::ok();
}

// On Wayland SDL gives logical sizes; the user needs the pixels the pages
// are drawn in, and the scale.
bool Program::listDisplays(const std::vector<Monitor>& monitors) {
#if VELTRANE_HAVE_WAYLAND
    if (display.driver() == "wayland") {
        std::string error;
        const auto outputs = readWaylandOutputs(error);
        if (!outputs) {
            std::fprintf(stderr, "veltrane: cannot list the Wayland outputs: %s\n", error.c_str());
            return false;
        }
        for (std::size_t i = 0; i < outputs->size(); ++i) {
            std::printf("%s\n", describeWaylandOutput(static_cast<int>(i), (*outputs)[i]).c_str());
        }
        return true;
    }
#endif
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        std::printf("%s\n", describeMonitor(static_cast<int>(i), monitors[i]).c_str());
    }
    return true;
}

// Through XWayland the compositor enlarges the X screen to the output's
// pixels at a scale: the user is told, since single-pixel lines are then not.
void Program::warnWhenXScreenIsScaled([[maybe_unused]] const Monitor& monitor) {
#if VELTRANE_HAVE_WAYLAND
    if (display.driver() != "x11" || !isWaylandSession(std::getenv("WAYLAND_DISPLAY"), nullptr)) return;
    std::string error;
    const auto outputs = readWaylandOutputs(error);
    if (!outputs || outputs->empty()) return;
    // XWayland numbers its screens' monitors in the compositor's order.
    const std::size_t index = static_cast<std::size_t>(monitorIndex) < outputs->size() ? monitorIndex : 0;
    const WaylandOutput& output = (*outputs)[index];
    bool sdlHasWayland = false;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        if (const char* name = SDL_GetVideoDriver(i); name != nullptr && std::string_view(name) == "wayland") {
            sdlHasWayland = true;
        }
    }
    const char* requested = std::getenv("SDL_VIDEODRIVER");
    if (const auto warning = scaledXScreenWarning(monitor.bounds, output.name, output.pixelWidth,
                                                  output.pixelHeight,
                                                  output.scale ? describeScale(*output.scale) : "unknown",
                                                  requested != nullptr ? requested : "", sdlHasWayland)) {
        std::fprintf(stderr, "veltrane: warning: %s\n", warning->c_str());
    }
#endif
}

void Program::printDisplayWarnings() {
    for (const std::string& warning : display.takeWarnings()) {
        std::fprintf(stderr, "veltrane: warning: %s\n", warning.c_str());
    }
}

// Without a caption font the pages lack their title and values, which the
// user would otherwise only learn from a terminal they may not be looking at.
void Program::reportMissingCaptionFont() {
    std::fprintf(stderr, "%s (%s)\n", NO_CAPTION_FONT_MESSAGE, captionFontProblem.c_str());
    std::string text = NO_CAPTION_FONT_MESSAGE;
    constexpr std::string_view prefix = "veltrane: ";  // the terminal's tag, not the box's
    if (text.starts_with(prefix)) text.erase(0, prefix.size());
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    showBox("No caption font", text + "\n\n(" + captionFontProblem + ")", SDL_MESSAGEBOX_WARNING,
            display.window());
}

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
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            // Shift or Ctrl may have been pressed or released elsewhere.
            state.keys = keyStateFromModifiers(static_cast<std::uint16_t>(SDL_GetModState()));
            break;
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
        case SDL_QUIT:
            // Also what SDL sends when the compositor goes away.
            connectionLost = display.connectionLost();
            running = false;
            break;
        case SDL_KEYDOWN: handleKeyDownEvent(event.key.keysym); break;
        case SDL_KEYUP: {
            const TranslatedKey translated = translateKeyUp(event.key.keysym);
            if (translated.route == KeyRoute::KeyMap) handleKeyUp(state, translated.virtualKey);
            break;
        }
        case SDL_WINDOWEVENT: handleWindowEvent(event.window); break;
        case SDL_MOUSEMOTION: pointer.moved(event.motion.x, event.motion.y); break;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            // The analogue of lost surfaces: the page is drawn again and presented.
            display.recoverFromReset(event.type == SDL_RENDER_DEVICE_RESET);
            drawPage();
            break;
        default: break;
    }
}

// How long the loop may sleep: until a pending frame is due or the pointer
// is to hide, whichever comes first; -1 when nothing is waited for.
int Program::waitTimeoutMs() const {
    std::optional<std::uint32_t> timeout = pointer.msUntilHidden();
    if (display.presentPending()) {
        const std::uint32_t frame = display.msUntilNextFrame();
        timeout = timeout ? std::min(*timeout, frame) : frame;
    }
    return timeout ? static_cast<int>(*timeout) : -1;
}

void Program::runLoop() {
    SDL_Event event;
    while (running) {
        // With nothing to do the thread sleeps until the next event.
        const int timeout = waitTimeoutMs();
        const bool gotEvent = timeout < 0 ? SDL_WaitEvent(&event) != 0 : SDL_WaitEventTimeout(&event, timeout) != 0;
        if (gotEvent) {
            handleEvent(event);
            while (running && SDL_PollEvent(&event) != 0) handleEvent(event);
        }
        // Wayland output changes read along with the events just handled.
        if (running && display.outputsChanged() && display.followOutputSize()) drawPage();
        if (running && pageDirty) {
            drawPage();
            pageDirty = false;
        }
        if (running && display.presentPending() && display.msUntilNextFrame() == 0) {
            display.present();
            printDisplayWarnings();
        }
        pointer.hideWhenStill();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine = parseCommandLine(argc, argv, std::cout, std::cerr);
    if (commandLine.action == CommandLineAction::Exit) return commandLine.exitCode;

    Program program(commandLine);
    return runProgram(program, program.state);
}
