// The window procedure of the one full-screen window: paint messages present
// the back buffer, key messages drive the portable key map, Escape ends the
// run, and so does the end of the user's session (after saving).
//
// Depends on: program.h (the process-wide state), the core's key map and
// program flow, user32.
#include <windows.h>

#include "app/key_map.h"
#include "app/program_flow.h"
#include "platform/win32/program.h"

namespace veltrane::win32 {

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Program& state = program();
    switch (message) {
        case WM_CREATE:
            state.window = window;
            state.control.keys = KeyState{};
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            break;
        case WM_SIZE:
            return 1;
        case WM_PAINT:
            // The update region is left invalid on purpose: the system then
            // sends WM_PAINT whenever the queue is empty, and that is the
            // presentation loop, paced by presentFrame.
            if (presentFrame(state.display) == PresentResult::SurfacesRestored) {
                drawCurrentPage(state, state.control);
            }
            return 1;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                // A modifier released while another window has the keyboard
                // never reaches us; forget both rather than keep a stale one.
                handleFocusLost(state.control);
            } else {
                // Back in front: Shift or Ctrl may have gone down or up while
                // another window had the keyboard, so take them as the
                // keyboard has them now; and whatever covered the screen
                // meanwhile is painted over with the page, drawn again, as
                // the back buffer holds the one before it.
                state.control.keys.shiftDown = GetKeyState(VK_SHIFT) < 0;
                state.control.keys.controlDown = GetKeyState(VK_CONTROL) < 0;
                if (backBufferIsStale(state.display)) drawCurrentPage(state, state.control);
            }
            break;
        case WM_KILLFOCUS:
            handleFocusLost(state.control);
            break;
        case WM_KEYDOWN:
            onKeyDown(state, state.control, static_cast<std::uint32_t>(wParam));
            break;
        case WM_KEYUP:
            handleKeyUp(state.control, static_cast<std::uint32_t>(wParam));
            break;
        case WM_ENDSESSION:
            // The process ends as soon as this returns, so the calibration is
            // saved here and then, as Escape would save it, and handed on.
            if (wParam != FALSE && endRunWithSession(state, state.control)) {
                state.handOn(state.control.calibration, false);
            }
            return 0;
        case WM_COMMAND:
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace veltrane::win32
