// The program's process-wide state, owned by the entry point and reached by
// the window procedure: the display, the keyboard-driven control state and
// the adapters the core draws through.
//
// Depends on: direct_draw_display.h, direct_draw_surface.h, gdi_text_renderer.h.
#pragma once

#include <windows.h>

#include "app/key_map.h"
#include "platform/win32/direct_draw_display.h"
#include "platform/win32/direct_draw_surface.h"
#include "platform/win32/gdi_text_renderer.h"

namespace veltrane::win32 {

struct Program {
    DisplayState display;
    ControlState control;
    DirectDrawSurface backBuffer{display.backBuffer};
    GdiTextRenderer captionText;
};

Program& program();

// Draws the current page with its caption into the back buffer; the next
// presentation puts it on the screen.
void drawCurrentPage(Program& state);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace veltrane::win32
