// Browser key events to the Windows virtual-key codes the key map speaks.
// Chromium, Firefox and Safari give every key a keyCode that is the Windows
// virtual-key code for the navigation keys, letters, digits and modifiers the
// key map names, on every system; what this adds is what a page in a browser
// must leave alone, and what the first key press may do.
// Depends on the core's key codes; no browser header, so it is tested natively.
#pragma once

#include <cstdint>

#include "app/control_state.h"

namespace veltrane {

// What a key event carries that the translation looks at.
struct BrowserKeyEvent {
    std::uint32_t keyCode = 0;  // KeyboardEvent.keyCode; 0 when the browser knows none
    bool shift = false;
    bool control = false;
    bool alt = false;
    bool meta = false;  // Command on a Mac, the Windows key elsewhere
};

enum class WebKeyRoute {
    KeyMap,   // through the key map
    Browser,  // not ours: no action, the browser does what it does with it
};

struct WebKey {
    WebKeyRoute route = WebKeyRoute::Browser;
    std::uint32_t virtualKey = 0;
    // The browser's own action for the key (scrolling, reloading, searching)
    // is prevented for every key the key map takes, Escape apart.
    bool preventsBrowserAction = false;
    // Only a key that does something of its own may take the page to full
    // screen the first time: not Escape, which the browser keeps for leaving
    // full screen, and not a modifier pressed on its way to a combination.
    bool mayEnterFullScreen = false;
};

// The code for keys the browser names no code for; the key map steps to the
// next page on it, as on every other unlisted key.
inline constexpr std::uint32_t WEB_KEY_UNMAPPED = 0xFF;

// Browser: keys held with Command or the Windows key (the system's and the
// browser's shortcuts), Alt alone, keys held with Alt without Ctrl and F10
// (system keys, which the Windows program never sees either), the reload,
// full-screen and developer-tools keys F5, F11 and F12, and key events of an
// input method composing text (keyCode 229). Escape goes to the key map,
// where it ends the run, which in a page means leaving full screen, and the
// browser's own Escape is not prevented. Every other key goes to the key map.
WebKey translateWebKeyDown(const BrowserKeyEvent& event);
WebKey translateWebKeyUp(const BrowserKeyEvent& event);

// Shift and Ctrl as the event says they are held. Every key event carries
// them, so a modifier pressed or released while the page did not have the
// keyboard counts from the next key on.
KeyState webModifierState(const BrowserKeyEvent& event);

}  // namespace veltrane
