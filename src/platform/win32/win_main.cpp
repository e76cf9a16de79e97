// The entry point: hands the Windows primitives to the shared program flow,
// which brings up the display and the window, loads the calibration, draws the
// first page, runs the message loop, then saves the calibration and gives the
// display back.
//
// Exit codes: 0 after a normal run; -1 when DirectDraw, the window, the
// display mode or the flipping chain cannot be set up (nothing is saved then).
//
// Depends on: program.h, the core's program flow.
#include <windows.h>

#include "app/program_flow.h"
#include "platform/win32/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    veltrane::win32::Program& state = veltrane::win32::program();
    state.instance = instance;
    state.showCommand = showCommand;
    return veltrane::runProgram(state, state.control);
}
