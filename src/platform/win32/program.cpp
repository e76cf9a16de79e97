// The one instance of the program's process-wide state, and the Windows
// primitives of the program's flow: the start-up steps with the clean-up each
// failure needs, the message loop, and presentation through paint messages.
#include "platform/win32/program.h"

#include <string>

#include "calibration/gamma_ramp_device.h"
#include "calibration/profile_store.h"
#include "platform/lcms/calibration_exports.h"
#include "platform/win32/wide_text.h"

namespace veltrane::win32 {
namespace {

constexpr const char* CLASS_NAME = "Veltrane";
constexpr const char* WINDOW_TITLE = "BaseForm";

}  // namespace

Program& program() {
    static Program state;
    return state;
}

StartUpStep Program::openDisplay() {
    // Without a device there is nothing to show: the box has told the user,
    // and no window, display mode or registry key is touched.
    return createDisplayDevice(display) ? StartUpStep::stop() : StartUpStep::ok();
}

StartUpStep Program::createWindow() {
    display.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    display.screenHeight = GetSystemMetrics(SM_CYSCREEN);

    WNDCLASSEXA myclass{};
    myclass.cbSize = sizeof myclass;
    myclass.style = CS_HREDRAW | CS_VREDRAW;
    myclass.lpfnWndProc = mainWindowProc;
    myclass.hInstance = instance;
    myclass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    myclass.lpszClassName = CLASS_NAME;
    if (RegisterClassExA(&myclass) == 0) {
        releaseDisplay(display);
        return StartUpStep::stop();
    }

    window = CreateWindowExA(0, CLASS_NAME, WINDOW_TITLE, WS_POPUP, 0, 0, display.screenWidth,
                             display.screenHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        // The class stays registered.
        releaseDisplay(display);
        return StartUpStep::stop();
    }
    return StartUpStep::ok();
}

StartUpStep Program::setUpScreen() {
    // The calibration has been loaded by now. Ramps holding our table for it
    // go to identity for the run, and get a table back on every way out.
    std::string rampsUnreachable;
    ownRamps = ProgramRamps::takeOver(openDisplayRamps(rampsUnreachable), control.calibration);
    // Displays whose default profile is ours get the new one at exit.
    std::string noProfileStore;
    ownProfiles = ProgramProfiles::holdOff(openProfileStore(noProfileStore), displayProfileFor,
                                           [this](const std::string& note) { calibrationNotes.push_back(note); });
    if (!setFullScreenMode(display, window) && !createFlippingChain(display)) return StartUpStep::ok();
    // Nothing will be saved: the ramps get the stored table back, and every
    // default profile stays as it was.
    ownRamps.reset();
    ownProfiles.reset();
    // The window is left as it is; it was never shown.
    leaveExclusiveMode(display, window);
    UnregisterClassA(CLASS_NAME, instance);
    releaseDisplay(display);
    return StartUpStep::stop();
}

void Program::showWindow() {
    ShowWindow(window, showCommand);
    UpdateWindow(window);
}

PageTarget Program::pageTarget() {
    return {backBuffer, &captionText, display.screenWidth, display.screenHeight, &gammaRows};
}

// A page drawn apart goes into the back buffer at once, so the flip after the
// next vertical blank finds it there. When it cannot (the surfaces are lost),
// nothing waits: once the surfaces are restored the page is drawn again.
void Program::notePageDrawn() {
    if (backBuffer.finishPage()) win32::notePageDrawn(display);
}

void Program::runLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The update region is never validated, so this makes the system send
// WM_PAINT, the presentation, at once.
void Program::presentNow() { UpdateWindow(window); }

// WM_DESTROY posts the quit message that ends the loop.
void Program::endRun() { DestroyWindow(window); }

void Program::releaseScreen() { releaseDisplay(display); }

void Program::handOn(const ColorCalibration& calibration, bool mayShowBox) {
    if (ownRamps) ownRamps->finish(calibration);
    if (ownProfiles) ownProfiles->finish(calibration);
    if (!mayShowBox || calibrationNotes.empty()) return;
    std::string text;
    for (const std::string& note : calibrationNotes) text += note + "\n";
    calibrationNotes.clear();
    MessageBoxW(nullptr, wideFromUtf8(text).c_str(), L"Veltrane", MB_OK | MB_ICONINFORMATION);
}

// Called only once the display has been given back: the boxes are ordinary
// windows, and behind DirectDraw's exclusive full-screen mode they could not be
// seen and the program would look frozen.
void Program::reportSettingsNotSaved(const ColorCalibration& calibration) {
    showSettingsFailure(calibration);
}

}  // namespace veltrane::win32
