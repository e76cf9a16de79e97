#include "platform/web/web_key_translation.h"

#include "app/key_map.h"

namespace veltrane {
namespace {

constexpr std::uint32_t KEY_LEFT_META = 0x5B;   // the Windows key; Command on a Mac
constexpr std::uint32_t KEY_RIGHT_META = 0x5C;
constexpr std::uint32_t KEY_MAC_RIGHT_COMMAND = 0x5D;  // also the context menu key elsewhere
constexpr std::uint32_t KEY_F5 = 0x74;
constexpr std::uint32_t KEY_F10 = 0x79;
constexpr std::uint32_t KEY_F11 = 0x7A;
constexpr std::uint32_t KEY_F12 = 0x7B;
constexpr std::uint32_t KEY_COMPOSING = 229;  // an input method is composing text
constexpr std::uint32_t KEY_FIREFOX_META = 224;
constexpr std::uint32_t KEY_ALT_GRAPH = 225;  // AltGr where the browser does not report it as Ctrl+Alt

bool isMetaKey(std::uint32_t code) {
    return code == KEY_LEFT_META || code == KEY_RIGHT_META || code == KEY_FIREFOX_META ||
           code == KEY_MAC_RIGHT_COMMAND;
}


WebKey translate(const BrowserKeyEvent& event) {
    const std::uint32_t code = event.keyCode == 0 ? WEB_KEY_UNMAPPED : event.keyCode;
    WebKey key;
    key.virtualKey = code;
    if (code == KEY_COMPOSING || event.meta || isMetaKey(code)) return key;
    if (code == KEY_F5 || code == KEY_F10 || code == KEY_F11 || code == KEY_F12) return key;
    if (code == KEY_ALT || code == KEY_ALT_GRAPH || (event.alt && !event.control)) return key;
    key.route = WebKeyRoute::KeyMap;
    key.preventsBrowserAction = code != KEY_ESCAPE;
    key.mayEnterFullScreen = code != KEY_ESCAPE && code != KEY_SHIFT && code != KEY_CONTROL;
    return key;
}

}  // namespace

WebKey translateWebKeyDown(const BrowserKeyEvent& event) { return translate(event); }

WebKey translateWebKeyUp(const BrowserKeyEvent& event) {
    WebKey key = translate(event);
    key.mayEnterFullScreen = false;
    return key;
}

KeyState webModifierState(const BrowserKeyEvent& event) {
    KeyState keys;
    keys.shiftDown = event.shift;
    keys.controlDown = event.control;
    return keys;
}

}  // namespace veltrane
