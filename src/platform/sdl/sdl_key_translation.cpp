#include "platform/sdl/sdl_key_translation.h"

#include <array>
#include <utility>

#include "app/key_map.h"

namespace veltrane {
namespace {

struct KeycodeEntry {
    SDL_Keycode keycode;
    std::uint32_t virtualKey;
};

constexpr std::uint32_t KEY_BACK = 0x08, KEY_TAB = 0x09, KEY_CLEAR = 0x0C, KEY_RETURN = 0x0D;
constexpr std::uint32_t KEY_F1 = 0x70, KEY_F4 = 0x73, KEY_F10 = 0x79, KEY_F13 = 0x7C;
constexpr std::uint32_t KEY_LEFT = 0x25, KEY_UP = 0x26, KEY_RIGHT = 0x27, KEY_DOWN = 0x28;
constexpr std::uint32_t KEY_NUMPAD0 = 0x60;

constexpr std::array<KeycodeEntry, 58> KEYCODE_TABLE = {{
    {SDLK_BACKSPACE, KEY_BACK},      {SDLK_TAB, KEY_TAB},
    {SDLK_CLEAR, KEY_CLEAR},         {SDLK_RETURN, KEY_RETURN},
    {SDLK_KP_ENTER, KEY_RETURN},     {SDLK_PAUSE, 0x13},
    {SDLK_CAPSLOCK, 0x14},           {SDLK_ESCAPE, KEY_ESCAPE},
    {SDLK_SPACE, 0x20},              {SDLK_PAGEUP, KEY_PAGE_UP},
    {SDLK_PAGEDOWN, KEY_PAGE_DOWN},  {SDLK_END, KEY_END},
    {SDLK_HOME, KEY_HOME},           {SDLK_LEFT, KEY_LEFT},
    {SDLK_UP, KEY_UP},               {SDLK_RIGHT, KEY_RIGHT},
    {SDLK_DOWN, KEY_DOWN},           {SDLK_PRINTSCREEN, 0x2C},
    {SDLK_INSERT, KEY_INSERT},       {SDLK_DELETE, KEY_DELETE},
    {SDLK_LGUI, 0x5B},               {SDLK_RGUI, 0x5C},
    {SDLK_APPLICATION, 0x5D},        {SDLK_KP_MULTIPLY, 0x6A},
    {SDLK_KP_PLUS, 0x6B},            {SDLK_KP_MINUS, 0x6D},
    {SDLK_KP_DIVIDE, 0x6F},          {SDLK_NUMLOCKCLEAR, 0x90},
    {SDLK_SCROLLLOCK, 0x91},         {SDLK_LSHIFT, KEY_SHIFT},
    {SDLK_RSHIFT, KEY_SHIFT},        {SDLK_LCTRL, KEY_CONTROL},
    {SDLK_RCTRL, KEY_CONTROL},       {SDLK_LALT, KEY_ALT},
    {SDLK_RALT, KEY_ALT},            {SDLK_SEMICOLON, 0xBA},
    {SDLK_EQUALS, 0xBB},             {SDLK_COMMA, 0xBC},
    {SDLK_MINUS, 0xBD},              {SDLK_PERIOD, 0xBE},
    {SDLK_SLASH, 0xBF},              {SDLK_BACKQUOTE, 0xC0},
    {SDLK_LEFTBRACKET, 0xDB},        {SDLK_BACKSLASH, 0xDC},
    {SDLK_RIGHTBRACKET, 0xDD},       {SDLK_QUOTE, 0xDE},
    {SDLK_VOLUMEUP, 0xAF},           {SDLK_VOLUMEDOWN, 0xAE},
    {SDLK_MUTE, 0xAD},               {SDLK_AUDIONEXT, 0xB0},
    {SDLK_AUDIOPREV, 0xB1},          {SDLK_AUDIOSTOP, 0xB2},
    {SDLK_AUDIOPLAY, 0xB3},          {SDLK_SLEEP, 0x5F},
    {SDLK_HELP, 0x2F},               {SDLK_SELECT, 0x29},
    {SDLK_EXECUTE, 0x2B},            {SDLK_KP_DECIMAL, 0x6E},
}};

// Keypad keys: their code with Num Lock on, and the navigation code Windows
// gives them with Num Lock off.
struct KeypadEntry {
    SDL_Keycode keycode;
    std::uint32_t numLockOn;
    std::uint32_t numLockOff;
};

constexpr std::array<KeypadEntry, 11> KEYPAD_TABLE = {{
    {SDLK_KP_0, KEY_NUMPAD0 + 0, KEY_INSERT},    {SDLK_KP_1, KEY_NUMPAD0 + 1, KEY_END},
    {SDLK_KP_2, KEY_NUMPAD0 + 2, KEY_DOWN},      {SDLK_KP_3, KEY_NUMPAD0 + 3, KEY_PAGE_DOWN},
    {SDLK_KP_4, KEY_NUMPAD0 + 4, KEY_LEFT},      {SDLK_KP_5, KEY_NUMPAD0 + 5, KEY_CLEAR},
    {SDLK_KP_6, KEY_NUMPAD0 + 6, KEY_RIGHT},     {SDLK_KP_7, KEY_NUMPAD0 + 7, KEY_HOME},
    {SDLK_KP_8, KEY_NUMPAD0 + 8, KEY_UP},        {SDLK_KP_9, KEY_NUMPAD0 + 9, KEY_PAGE_UP},
    {SDLK_KP_PERIOD, 0x6E, KEY_DELETE},
}};

bool altWithoutControl(std::uint16_t modifiers) {
    return (modifiers & KMOD_ALT) != 0 && (modifiers & KMOD_CTRL) == 0;
}

TranslatedKey translate(const SDL_Keysym& key) {
    TranslatedKey result;
    result.virtualKey = virtualKeyFromSdl(key.sym, key.scancode, key.mod);
    const bool isAltKey = result.virtualKey == KEY_ALT;
    if (result.virtualKey == KEY_F10 || (!isAltKey && altWithoutControl(key.mod))) {
        result.route = result.virtualKey == KEY_F4 ? KeyRoute::Close : KeyRoute::SystemKey;
    }
    return result;
}

}  // namespace

std::uint32_t virtualKeyFromSdl(SDL_Keycode keycode, SDL_Scancode scancode, std::uint16_t modifiers) {
    if (keycode >= SDLK_a && keycode <= SDLK_z) return 0x41 + static_cast<std::uint32_t>(keycode - SDLK_a);
    if (keycode >= SDLK_0 && keycode <= SDLK_9) return 0x30 + static_cast<std::uint32_t>(keycode - SDLK_0);
    if (keycode >= SDLK_F1 && keycode <= SDLK_F12) return KEY_F1 + static_cast<std::uint32_t>(keycode - SDLK_F1);
    if (keycode >= SDLK_F13 && keycode <= SDLK_F24) return KEY_F13 + static_cast<std::uint32_t>(keycode - SDLK_F13);
    for (const KeypadEntry& entry : KEYPAD_TABLE) {
        if (entry.keycode == keycode) return (modifiers & KMOD_NUM) != 0 ? entry.numLockOn : entry.numLockOff;
    }
    for (const KeycodeEntry& entry : KEYCODE_TABLE) {
        if (entry.keycode == keycode) return entry.virtualKey;
    }
    // Letters and digits of layouts that do not produce Latin keycodes.
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        return 0x41 + static_cast<std::uint32_t>(scancode - SDL_SCANCODE_A);
    }
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
        return 0x31 + static_cast<std::uint32_t>(scancode - SDL_SCANCODE_1);
    }
    if (scancode == SDL_SCANCODE_0) return 0x30;
    return KEY_UNMAPPED;
}

TranslatedKey translateKeyDown(const SDL_Keysym& key) { return translate(key); }

TranslatedKey translateKeyUp(const SDL_Keysym& key) {
    TranslatedKey result = translate(key);
    // Releasing a key never closes anything; Alt+F4 acts on the press.
    if (result.route == KeyRoute::Close) result.route = KeyRoute::SystemKey;
    return result;
}

KeyState keyStateFromModifiers(std::uint16_t modifiers) {
    KeyState keys;
    keys.shiftDown = (modifiers & KMOD_SHIFT) != 0;
    keys.controlDown = (modifiers & KMOD_CTRL) != 0;
    return keys;
}

}  // namespace veltrane
