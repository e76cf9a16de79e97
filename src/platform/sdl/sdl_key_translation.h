// SDL key events to the Windows virtual-key codes the key map speaks, as one
// table, plus the rule that decides which presses Windows would deliver as
// system keys (Alt held without Ctrl, or F10), which the key map never sees;
// Alt+F4 among them closes the window.
// Depends on SDL's key definitions and the core's key codes.
#pragma once

#include <cstdint>

#include <SDL_keyboard.h>

#include "app/key_map.h"

namespace veltrane {

// The code for keys that have no virtual-key equivalent; the key map treats
// it like every other unlisted key (next page).
inline constexpr std::uint32_t KEY_UNMAPPED = 0xFF;

// The virtual-key code of a key. The keycode decides first, so letters follow
// the keyboard layout as on Windows; layouts whose letters are not Latin fall
// back to the key's position (its scancode). Keypad keys with Num Lock off
// give the navigation codes (keypad 9 is Page Up), as on Windows.
std::uint32_t virtualKeyFromSdl(SDL_Keycode keycode, SDL_Scancode scancode, std::uint16_t modifiers);

enum class KeyRoute {
    KeyMap,     // an ordinary key message: through the key map
    SystemKey,  // what Windows sends as a system key: no action
    Close,      // Alt+F4: the window is closed, as the platform's default does
};

struct TranslatedKey {
    KeyRoute route = KeyRoute::KeyMap;
    std::uint32_t virtualKey = KEY_UNMAPPED;
};

TranslatedKey translateKeyDown(const SDL_Keysym& key);
TranslatedKey translateKeyUp(const SDL_Keysym& key);

// The modifier flags as SDL's keyboard state has them (SDL_GetModState), for
// when the window gets the keyboard back: a Shift or Ctrl pressed while
// another window had it is held now, though its press never came here.
KeyState keyStateFromModifiers(std::uint16_t modifiers);

}  // namespace veltrane
