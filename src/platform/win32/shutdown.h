// How a run ends: the calibration is saved, the display is given back, and
// only then is a failed save reported. The "Setting" boxes are ordinary
// windows; shown while DirectDraw still held the exclusive full-screen mode
// they could sit behind it, and the program would look frozen.
//
// When the user logs off, the session ends as soon as the window procedure
// returns from WM_ENDSESSION, and the process with it: the calibration is saved
// there and then, as Escape would save it. No box is shown for a failed save
// at that moment: a modal box would hold up the logoff (the system lists the
// program as keeping the session open) for a user who is leaving.
//
// Depends on: program.h, message_boxes.h, the core's settings codec.
#pragma once

#include <windows.h>

#include "program.h"

namespace veltrane::win32 {

using SettingsNotSavedReport = void (*)(const ColorCalibration&);

// After the message loop: saves (unless already saved at session end),
// releases the display, then reports a failed save through `report`.
void finishRun(Program& state, SettingsNotSavedReport report);

// WM_ENDSESSION when the session really ends: saves now and destroys the
// window, which ends the message loop should the process live on.
void endRunWithSession(Program& state, HWND window);

}  // namespace veltrane::win32
