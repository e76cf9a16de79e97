#include "app/program_flow.h"

#include "app/key_map.h"
#include "calibration/settings_codec.h"

namespace veltrane {

void drawCurrentPage(ProgramPlatform& platform, const ControlState& state) {
    renderPage(platform.pageTarget(), state.currentPage, state.calibration);
    platform.notePageDrawn();
}

void ProgramPlatform::pageChanged(const ControlState& state) { drawCurrentPage(*this, state); }

void onKeyDown(ProgramPlatform& platform, ControlState& state, std::uint32_t virtualKey) {
    switch (handleKeyDown(state, virtualKey)) {
        case KeyEffect::Nothing: break;
        case KeyEffect::Redraw:
            // A value changed. Shown by the next regular presentation, not forced.
            platform.pageChanged(state);
            if (platform.savesEveryChange) saveNow(platform, state);
            break;
        case KeyEffect::RedrawAndUpdate:
            platform.pageChanged(state);
            platform.presentNow();
            break;
        case KeyEffect::Quit: platform.endRun(); break;
    }
}

bool saveNow(ProgramPlatform& platform, const ControlState& state) {
    const bool saved = saveCalibration(platform.settingsStore(), state.calibration);
    if (saved) {
        platform.settingsSaved(state.calibration);
    } else {
        platform.reportSettingsNotSaved(state.calibration);
    }
    return saved;
}

bool endRunWithSession(ProgramPlatform& platform, ControlState& state) {
    const bool saved = saveCalibration(platform.settingsStore(), state.calibration);
    platform.savedAtSessionEnd = true;
    platform.endRun();
    return saved;
}

void finishRun(ProgramPlatform& platform, ControlState& state) {
    const bool saved =
        platform.savedAtSessionEnd || saveCalibration(platform.settingsStore(), state.calibration);
    platform.releaseScreen();
    if (saved) {
        platform.settingsSaved(state.calibration);
    } else {
        platform.reportSettingsNotSaved(state.calibration);
    }
}

std::optional<int> startProgram(ProgramPlatform& platform, ControlState& state) {
    // The page is never remembered between runs.
    state.currentPage = 0;

    if (const StartUpStep step = platform.openDisplay(); !step.carryOn) return step.exitCode;
    if (const StartUpStep step = platform.createWindow(); !step.carryOn) return step.exitCode;
    loadCalibration(platform.settingsStore(), state.calibration);
    if (const StartUpStep step = platform.setUpScreen(); !step.carryOn) return step.exitCode;

    drawCurrentPage(platform, state);
    platform.showWindow();
    return std::nullopt;
}

int runProgram(ProgramPlatform& platform, ControlState& state) {
    if (const std::optional<int> stopped = startProgram(platform, state)) return *stopped;

    platform.runLoop();

    finishRun(platform, state);
    return EXIT_AFTER_RUN;
}

}  // namespace veltrane
