// The program's process-wide state, owned by the entry point and reached by
// the window procedure: the display, the keyboard-driven control state and
// the adapters the core draws through.
//
// Depends on: direct_draw_display.h, direct_draw_surface.h, gdi_text_renderer.h,
// registry_settings_store.h.
#pragma once

#include <windows.h>

#include <memory>

#include "app/key_map.h"
#include "direct_draw_display.h"
#include "direct_draw_surface.h"
#include "gdi_text_renderer.h"
#include "registry_settings_store.h"

namespace veltrane::win32 {

struct Program {
    DisplayState display;
    ControlState control;
    DirectDrawSurface backBuffer{display.backBuffer};
    GdiTextRenderer captionText;
    // Where the calibration is loaded from and saved to: the current user's registry.
    std::unique_ptr<SettingsStore> settings = std::make_unique<RegistrySettingsStore>();
    // The session ended and the calibration was saved then; the run ends
    // without saving again.
    bool savedAtSessionEnd = false;
};

Program& program();

// Draws the current page with its caption into the back buffer; the next
// presentation puts it on the screen.
void drawCurrentPage(Program& state);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace veltrane::win32
