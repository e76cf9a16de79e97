// The program's flow, written once for every platform: the start-up order,
// what a key's effect asks of the platform, and saving the calibration at exit
// and reporting when that failed. Each platform fills in a few primitives
// (ProgramPlatform) and keeps its own loop: the Windows program stays driven by
// paint messages, the SDL program by its event queue; both call back in here.
// The browser edition has no loop of its own and no exit: it starts up, then
// the browser calls back in here for every event, and the values are saved
// each time they change.
#pragma once

#include <cstdint>
#include <optional>

#include "app/control_state.h"
#include "calibration/settings_store.h"
#include "patterns/render_page.h"

namespace veltrane {

inline constexpr int EXIT_AFTER_RUN = 0;
inline constexpr int EXIT_START_UP_FAILED = -1;

// What a start-up step tells the flow: go on, or end the run now with this
// exit code (-1 when something could not be set up; a platform may end a run
// on purpose before the window exists, as the Linux program does after
// listing the displays).
struct StartUpStep {
    bool carryOn = true;
    int exitCode = EXIT_START_UP_FAILED;

    static StartUpStep ok() { return {}; }
    static StartUpStep stop(int exitCode = EXIT_START_UP_FAILED) { return {false, exitCode}; }
};

class ProgramPlatform {
public:
    virtual ~ProgramPlatform() = default;

    // Start-up steps, called in this order. A step that stops the run has
    // already undone what it set up itself and shown whatever the user must
    // see; the run then ends with the step's exit code and nothing is saved.
    virtual StartUpStep openDisplay() = 0;
    virtual StartUpStep createWindow() = 0;
    virtual StartUpStep setUpScreen() = 0;
    // Makes the window visible once the first page is in the back buffer.
    virtual void showWindow() = 0;

    // Where the calibration is kept between runs; loaded after the window
    // exists, saved after the loop.
    virtual SettingsStore& settingsStore() = 0;

    // The back buffer and caption text a page is drawn with, and the note that
    // a new page is in it and must reach the screen.
    virtual PageTarget pageTarget() = 0;
    virtual void notePageDrawn() = 0;
    // A key changed the page or a value. By default the page is drawn at
    // once; a platform whose key events arrive in bursts may instead draw it
    // (with drawCurrentPage) once the events already waiting are all applied,
    // so that a flood of presses costs one page, not one page per press.
    virtual void pageChanged(const ControlState& state);

    // Runs the platform's loop until the run ends, calling the flow's handlers.
    virtual void runLoop() = 0;
    // Asks for the page to be put on the screen without waiting.
    virtual void presentNow() = 0;
    // Ends the loop (Escape).
    virtual void endRun() = 0;

    // After the loop: the screen is given back before any message is shown,
    // so a box about the settings is not hidden behind a full-screen window.
    virtual void releaseScreen() = 0;
    // Then one of these, after every save: the values are kept (the platform
    // may hand them on, as the Linux program does to the display's gamma
    // ramps), or they are not and the user is told what they were.
    virtual void settingsSaved(const ColorCalibration& calibration) = 0;
    virtual void reportSettingsNotSaved(const ColorCalibration& calibration) = 0;

    // Set when the calibration was saved as the session ended, so the end of
    // the run does not save it again.
    bool savedAtSessionEnd = false;
    // Set by a platform whose run never reaches an end where it could save
    // (a web page is closed without notice): every key that changes a value
    // saves the calibration at once.
    bool savesEveryChange = false;
};

// Draws the current page with its caption into the back buffer.
void drawCurrentPage(ProgramPlatform& platform, const ControlState& state);

// A key press through the key map, then what its effect asks of the platform;
// on a platform that saves every change, a changed value is saved.
void onKeyDown(ProgramPlatform& platform, ControlState& state, std::uint32_t virtualKey);

// Saves the calibration now and tells the platform how that went
// (settingsSaved or reportSettingsNotSaved). True when it was kept.
bool saveNow(ProgramPlatform& platform, const ControlState& state);

// The user's session is ending (log-off, shutdown): the calibration is saved
// now, as the end of the run would save it, and the run ends. A failed save is
// not reported then: a box would hold up the log-off for a user who is leaving.
// True when the values were saved, for a platform whose process ends before
// the run's end could hand them on.
bool endRunWithSession(ProgramPlatform& platform, ControlState& state);

// After the loop: saves (unless already saved as the session ended), gives
// the screen back, then hands on the saved values or reports the failure.
void finishRun(ProgramPlatform& platform, ControlState& state);

// Start-up: page 0, the platform's start-up steps with the calibration loaded
// between the window and the screen, the first page drawn, the window shown.
// Nothing when the run goes on; the exit code when a step stopped it (nothing
// is saved then).
std::optional<int> startProgram(ProgramPlatform& platform, ControlState& state);

// The whole run: startProgram, the platform's loop, then finishRun.
// Returns the process's exit code.
int runProgram(ProgramPlatform& platform, ControlState& state);

}  // namespace veltrane
