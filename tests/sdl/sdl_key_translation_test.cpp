#include <gtest/gtest.h>

#include "app/key_map.h"
#include "platform/sdl/sdl_key_translation.h"

using namespace veltrane;

namespace {

SDL_Keysym keysym(SDL_Keycode keycode, SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN, Uint16 mod = KMOD_NONE) {
    SDL_Keysym key{};
    key.sym = keycode;
    key.scancode = scancode;
    key.mod = mod;
    return key;
}

struct KeyCase {
    SDL_Keycode keycode;
    SDL_Scancode scancode;
    Uint16 mod;
    std::uint32_t virtualKey;
};

class VirtualKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(VirtualKeys, MatchTheWindowsCodes) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(virtualKeyFromSdl(c.keycode, c.scancode, c.mod), c.virtualKey)
        << SDL_GetKeyName(c.keycode) << " mod " << c.mod;
}

INSTANTIATE_TEST_SUITE_P(
    Table, VirtualKeys,
    testing::Values(
        // The keys the key map acts on.
        KeyCase{SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 0, KEY_SHIFT}, KeyCase{SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 0, KEY_SHIFT},
        KeyCase{SDLK_LCTRL, SDL_SCANCODE_LCTRL, 0, KEY_CONTROL}, KeyCase{SDLK_RCTRL, SDL_SCANCODE_RCTRL, 0, KEY_CONTROL},
        KeyCase{SDLK_LALT, SDL_SCANCODE_LALT, 0, KEY_ALT}, KeyCase{SDLK_RALT, SDL_SCANCODE_RALT, 0, KEY_ALT},
        KeyCase{SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, KEY_ESCAPE},
        KeyCase{SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 0, KEY_PAGE_UP},
        KeyCase{SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, 0, KEY_PAGE_DOWN},
        KeyCase{SDLK_HOME, SDL_SCANCODE_HOME, 0, KEY_HOME}, KeyCase{SDLK_END, SDL_SCANCODE_END, 0, KEY_END},
        KeyCase{SDLK_INSERT, SDL_SCANCODE_INSERT, 0, KEY_INSERT},
        KeyCase{SDLK_DELETE, SDL_SCANCODE_DELETE, 0, KEY_DELETE},
        KeyCase{SDLK_b, SDL_SCANCODE_B, 0, KEY_B}, KeyCase{SDLK_r, SDL_SCANCODE_R, 0, KEY_R},
        // Letters follow the layout: on AZERTY the key at Q's place types A.
        KeyCase{SDLK_a, SDL_SCANCODE_Q, 0, 0x41}, KeyCase{SDLK_z, SDL_SCANCODE_W, 0, 0x5A},
        // A Cyrillic layout's letters fall back to the key's position.
        KeyCase{0x0438, SDL_SCANCODE_B, 0, KEY_B}, KeyCase{0x043A, SDL_SCANCODE_R, 0, KEY_R},
        KeyCase{SDLK_0, SDL_SCANCODE_0, 0, 0x30}, KeyCase{SDLK_9, SDL_SCANCODE_9, 0, 0x39},
        KeyCase{SDLK_AMPERSAND, SDL_SCANCODE_1, 0, 0x31},
        KeyCase{SDLK_F1, SDL_SCANCODE_F1, 0, 0x70}, KeyCase{SDLK_F12, SDL_SCANCODE_F12, 0, 0x7B},
        KeyCase{SDLK_F13, SDL_SCANCODE_F13, 0, 0x7C}, KeyCase{SDLK_F24, SDL_SCANCODE_F24, 0, 0x87},
        KeyCase{SDLK_SPACE, SDL_SCANCODE_SPACE, 0, 0x20}, KeyCase{SDLK_RETURN, SDL_SCANCODE_RETURN, 0, 0x0D},
        KeyCase{SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 0, 0x08}, KeyCase{SDLK_TAB, SDL_SCANCODE_TAB, 0, 0x09},
        KeyCase{SDLK_LEFT, SDL_SCANCODE_LEFT, 0, 0x25}, KeyCase{SDLK_DOWN, SDL_SCANCODE_DOWN, 0, 0x28},
        // The keypad: digits with Num Lock, navigation without, as on Windows.
        KeyCase{SDLK_KP_9, SDL_SCANCODE_KP_9, KMOD_NUM, 0x69},
        KeyCase{SDLK_KP_9, SDL_SCANCODE_KP_9, 0, KEY_PAGE_UP},
        KeyCase{SDLK_KP_3, SDL_SCANCODE_KP_3, 0, KEY_PAGE_DOWN},
        KeyCase{SDLK_KP_7, SDL_SCANCODE_KP_7, 0, KEY_HOME}, KeyCase{SDLK_KP_1, SDL_SCANCODE_KP_1, 0, KEY_END},
        KeyCase{SDLK_KP_0, SDL_SCANCODE_KP_0, 0, KEY_INSERT},
        KeyCase{SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, 0, KEY_DELETE},
        KeyCase{SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, KMOD_NUM, 0x6E},
        // Keys Windows has no code for still count as keys.
        KeyCase{SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN, 0, KEY_UNMAPPED}));

TEST(KeyRoutes, AltWithoutCtrlMakesSystemKeysAndAltF4Closes) {
    struct Case {
        SDL_Keysym key;
        KeyRoute down;
        KeyRoute up;
    } cases[] = {
        {keysym(SDLK_PAGEUP, SDL_SCANCODE_PAGEUP), KeyRoute::KeyMap, KeyRoute::KeyMap},
        {keysym(SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, KMOD_LCTRL | KMOD_LSHIFT), KeyRoute::KeyMap, KeyRoute::KeyMap},
        {keysym(SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, KMOD_LALT), KeyRoute::SystemKey, KeyRoute::SystemKey},
        {keysym(SDLK_SPACE, SDL_SCANCODE_SPACE, KMOD_RALT), KeyRoute::SystemKey, KeyRoute::SystemKey},
        // Ctrl+Alt (AltGr) keys are ordinary keys.
        {keysym(SDLK_b, SDL_SCANCODE_B, KMOD_LALT | KMOD_LCTRL), KeyRoute::KeyMap, KeyRoute::KeyMap},
        {keysym(SDLK_F10, SDL_SCANCODE_F10), KeyRoute::SystemKey, KeyRoute::SystemKey},
        {keysym(SDLK_F4, SDL_SCANCODE_F4), KeyRoute::KeyMap, KeyRoute::KeyMap},
        {keysym(SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT), KeyRoute::Close, KeyRoute::SystemKey},
        // The Alt key itself reaches the key map, which ignores it.
        {keysym(SDLK_LALT, SDL_SCANCODE_LALT, KMOD_LALT), KeyRoute::KeyMap, KeyRoute::KeyMap},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(translateKeyDown(c.key).route, c.down) << SDL_GetKeyName(c.key.sym) << " mod " << c.key.mod;
        EXPECT_EQ(translateKeyUp(c.key).route, c.up) << SDL_GetKeyName(c.key.sym) << " mod " << c.key.mod;
    }
}

TEST(KeyRoutes, TranslatedKeysDriveTheSharedKeyMap) {
    ControlState state;
    const auto press = [&](SDL_Keycode code, SDL_Scancode scan, Uint16 mod = KMOD_NONE) {
        const TranslatedKey key = translateKeyDown(keysym(code, scan, mod));
        return key.route == KeyRoute::KeyMap ? handleKeyDown(state, key.virtualKey) : KeyEffect::Nothing;
    };
    EXPECT_EQ(press(SDLK_LCTRL, SDL_SCANCODE_LCTRL), KeyEffect::Nothing);
    EXPECT_EQ(press(SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, KMOD_LCTRL), KeyEffect::Redraw);
    EXPECT_EQ(state.calibration.green.gamma, 1.0 + ADJUST_STEP);
    handleKeyUp(state, translateKeyUp(keysym(SDLK_LCTRL, SDL_SCANCODE_LCTRL)).virtualKey);
    EXPECT_EQ(press(SDLK_KP_9, SDL_SCANCODE_KP_9), KeyEffect::Redraw);  // keypad Page Up, Num Lock off
    EXPECT_EQ(state.calibration.red.gamma, 1.0 + ADJUST_STEP);
    EXPECT_EQ(press(SDLK_b, SDL_SCANCODE_B), KeyEffect::RedrawAndUpdate);
    EXPECT_EQ(state.currentPage, 20);
    EXPECT_EQ(press(SDLK_SPACE, SDL_SCANCODE_SPACE, KMOD_LALT), KeyEffect::Nothing);
    EXPECT_EQ(state.currentPage, 20);
    EXPECT_EQ(press(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), KeyEffect::Quit);
}

TEST(ModifiersOnReactivation, EitherSideCountsAndOtherModifiersDoNot) {
    struct Case {
        Uint16 modifiers;
        bool shift;
        bool control;
    };
    const Case cases[] = {
        {KMOD_NONE, false, false},
        {KMOD_LSHIFT, true, false},
        {KMOD_RSHIFT, true, false},
        {KMOD_LCTRL, false, true},
        {KMOD_RCTRL, false, true},
        {KMOD_RSHIFT | KMOD_LCTRL, true, true},
        // Alt, the GUI key and the locks select no channel.
        {KMOD_LALT | KMOD_RALT | KMOD_LGUI | KMOD_NUM | KMOD_CAPS | KMOD_MODE | KMOD_SCROLL, false, false},
        {KMOD_CAPS | KMOD_RSHIFT, true, false},
    };
    for (const Case& c : cases) {
        const KeyState keys = keyStateFromModifiers(c.modifiers);
        EXPECT_EQ(keys.shiftDown, c.shift) << "modifiers 0x" << std::hex << c.modifiers;
        EXPECT_EQ(keys.controlDown, c.control) << "modifiers 0x" << std::hex << c.modifiers;
    }
}

}  // namespace
