// The program's process-wide state, owned by the entry point and reached by
// the window procedure: the display, the keyboard-driven control state, the
// adapters the core draws through, and the Windows primitives the shared
// program flow (app/program_flow.h) asks for.
//
// Depends on: direct_draw_display.h, direct_draw_surface.h, gdi_text_renderer.h,
// registry_settings_store.h, message_boxes.h, the GDI gamma ramps (through the
// core's ProgramRamps), user32.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/control_state.h"
#include "app/program_flow.h"
#include "calibration/program_profiles.h"
#include "calibration/program_ramps.h"
#include "platform/win32/direct_draw_display.h"
#include "platform/win32/direct_draw_surface.h"
#include "platform/win32/gdi_text_renderer.h"
#include "platform/win32/message_boxes.h"
#include "platform/win32/registry_settings_store.h"

namespace veltrane::win32 {

struct Program final : ProgramPlatform {
    DisplayState display;
    ControlState control;
    BackBufferSurface backBuffer{display.backBuffer};
    GdiTextRenderer captionText;
    GammaCheckRows gammaRows;
    // Where the calibration is loaded from and saved to: the current user's registry.
    std::unique_ptr<SettingsStore> settings = std::make_unique<RegistrySettingsStore>();
    // How a failed save is shown: the "Setting" boxes, one per channel.
    void (*showSettingsFailure)(const ColorCalibration& calibration) = showSettingsNotSaved;
    HINSTANCE instance = nullptr;
    int showCommand = SW_SHOWNORMAL;
    HWND window = nullptr;  // the one full-screen window, recorded when it is created

    StartUpStep openDisplay() override;
    StartUpStep createWindow() override;
    StartUpStep setUpScreen() override;
    void showWindow() override;
    SettingsStore& settingsStore() override { return *settings; }
    PageTarget pageTarget() override;
    void notePageDrawn() override;
    void runLoop() override;
    void presentNow() override;
    void endRun() override;
    void releaseScreen() override;
    // The saved values go to the ramps taken over at the start, and become
    // the installed profile of the displays whose default was ours; what
    // could not be done is shown in one box.
    void settingsSaved(const ColorCalibration& calibration) override { handOn(calibration, true); }
    void reportSettingsNotSaved(const ColorCalibration& calibration) override;
    // The same at the end of the session, without a box to hold it up. Once,
    // however often the end of the run and the end of the session both ask.
    void handOn(const ColorCalibration& calibration, bool mayShowBox);

    // The display's ramps that held our table for the stored values: identity
    // while the program runs, since the pages carry the correction themselves.
    // Nothing where the ramps cannot be reached.
    std::unique_ptr<ProgramRamps> ownRamps;
    // The displays whose default profile is ours (veltrane-lut install):
    // they get the profile of the saved values at exit.
    std::unique_ptr<ProgramProfiles> ownProfiles;
    // What the user should know about the calibration outside the program.
    std::vector<std::string> calibrationNotes;
};

Program& program();

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace veltrane::win32
