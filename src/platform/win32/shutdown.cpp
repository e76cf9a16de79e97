#include "shutdown.h"

#include "calibration/settings_codec.h"

namespace veltrane::win32 {

void finishRun(Program& state, SettingsNotSavedReport report) {
    const bool saved = state.savedAtSessionEnd || saveCalibration(*state.settings, state.control.calibration);
    releaseDisplay(state.display);
    if (!saved) report(state.control.calibration);
}

void endRunWithSession(Program& state, HWND window) {
    saveCalibration(*state.settings, state.control.calibration);
    state.savedAtSessionEnd = true;
    DestroyWindow(window);
}

}  // namespace veltrane::win32
