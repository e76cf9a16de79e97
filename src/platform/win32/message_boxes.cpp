#include "platform/win32/message_boxes.h"

#include <windows.h>

#include <string>

#include "calibration/settings_codec.h"

namespace veltrane::win32 {

void showSettingsNotSaved(const ColorCalibration& calibration) {
    const std::string caption(SETTINGS_FAILURE_CAPTION);
    for (const std::string& text : settingsFailureMessages(calibration)) {
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
    }
}

}  // namespace veltrane::win32
