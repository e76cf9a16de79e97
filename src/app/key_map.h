// The keyboard controls, as a portable table: a virtual-key code and the
// modifier state in, an action out. Every platform translates its own key
// events into these Windows virtual-key codes and feeds them through here.
#pragma once

#include <cstdint>

#include "app/control_state.h"

namespace veltrane {

// Windows virtual-key codes. Not named VK_* so they cannot clash with <windows.h>.
inline constexpr std::uint32_t KEY_SHIFT = 0x10;
inline constexpr std::uint32_t KEY_CONTROL = 0x11;
inline constexpr std::uint32_t KEY_ALT = 0x12;
inline constexpr std::uint32_t KEY_ESCAPE = 0x1B;
inline constexpr std::uint32_t KEY_PAGE_UP = 0x21;
inline constexpr std::uint32_t KEY_PAGE_DOWN = 0x22;
inline constexpr std::uint32_t KEY_END = 0x23;
inline constexpr std::uint32_t KEY_HOME = 0x24;
inline constexpr std::uint32_t KEY_INSERT = 0x2D;
inline constexpr std::uint32_t KEY_DELETE = 0x2E;
inline constexpr std::uint32_t KEY_B = 0x42;
inline constexpr std::uint32_t KEY_R = 0x52;

struct KeyAction {
    enum class Kind { None, PressShift, PressControl, Quit, Adjust, PreviousPage, NextPage, Reset };
    Kind kind = Kind::None;
    Channel channel = Channel::Red;           // Adjust only
    Parameter parameter = Parameter::Gamma;   // Adjust only
    double delta = 0.0;                       // Adjust only: +ADJUST_STEP or -ADJUST_STEP

    bool operator==(const KeyAction&) const = default;
};

// What a key press means. B and R are matched before any modifier is looked
// at; every key not in the map steps to the next page.
KeyAction mapKeyDown(std::uint32_t virtualKey, const KeyState& keys);

// What the platform must do after a key press.
enum class KeyEffect {
    Nothing,          // a lone modifier or Alt
    Redraw,           // a parameter changed: draw the page again, present at the next paint
    RedrawAndUpdate,  // the page changed: draw it and ask for a paint at once
    Quit,             // Escape: end the run (the settings are saved)
};

KeyEffect handleKeyDown(ControlState& state, std::uint32_t virtualKey);
void handleKeyUp(ControlState& state, std::uint32_t virtualKey);

// A modifier released in another window never reaches us, so the flags are
// forgotten whenever the window loses the keyboard.
void handleFocusLost(ControlState& state);

}  // namespace veltrane
