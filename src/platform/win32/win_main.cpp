// The entry point: brings up the display and the window, loads the
// calibration, draws the first page, runs the message loop, then saves the
// calibration and gives the display back (shutdown.h).
//
// Exit codes: 0 after a normal run; -1 when DirectDraw, the window, the
// display mode or the flipping chain cannot be set up (nothing is saved then).
//
// Depends on: program.h, shutdown.h, message_boxes.h, the core's settings
// codec, user32.
#include <windows.h>

#include "calibration/settings_codec.h"
#include "message_boxes.h"
#include "program.h"
#include "shutdown.h"

namespace veltrane::win32 {
namespace {

constexpr const char* CLASS_NAME = "Veltrane";
constexpr const char* WINDOW_TITLE = "BaseForm";
constexpr int START_UP_FAILED = -1;

int abandonStartUp(Program& state, HWND window, HINSTANCE instance) {
    leaveExclusiveMode(state.display, window);
    UnregisterClassA(CLASS_NAME, instance);
    releaseDisplay(state.display);
    return START_UP_FAILED;
}

int run(HINSTANCE instance, int showCommand) {
    Program& state = program();
    state.control.currentPage = 0;

    // Without a device there is nothing to show: the box has told the user,
    // and no window, display mode or registry key is touched.
    if (createDisplayDevice(state.display)) return START_UP_FAILED;

    state.display.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    state.display.screenHeight = GetSystemMetrics(SM_CYSCREEN);

    WNDCLASSEXA myclass{};
    myclass.cbSize = sizeof myclass;
    myclass.style = CS_HREDRAW | CS_VREDRAW;
    myclass.lpfnWndProc = mainWindowProc;
    myclass.hInstance = instance;
    myclass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    myclass.lpszClassName = CLASS_NAME;
    if (RegisterClassExA(&myclass) == 0) {
        releaseDisplay(state.display);
        return START_UP_FAILED;
    }

    const HWND window = CreateWindowExA(0, CLASS_NAME, WINDOW_TITLE, WS_POPUP, 0, 0,
                                        state.display.screenWidth, state.display.screenHeight,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        releaseDisplay(state.display);
        return START_UP_FAILED;
    }

    loadCalibration(*state.settings, state.control.calibration);

    if (setFullScreenMode(state.display, window)) return abandonStartUp(state, window, instance);
    if (createFlippingChain(state.display)) return abandonStartUp(state, window, instance);

    drawCurrentPage(state);
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    finishRun(state, showSettingsNotSaved);
    return 0;
}

}  // namespace
}  // namespace veltrane::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return veltrane::win32::run(instance, showCommand);
}
