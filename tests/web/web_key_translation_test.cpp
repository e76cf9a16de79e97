// Browser key events to the key map's codes: what goes through the key map,
// what is left to the browser, which keys keep the browser's own action and
// which may take the page to full screen.
#include <gtest/gtest.h>

#include "app/key_map.h"
#include "platform/web/web_key_translation.h"

namespace veltrane {
namespace {

struct Mods {
    bool shift = false, control = false, alt = false, meta = false;
};

BrowserKeyEvent event(std::uint32_t keyCode, Mods mods = {}) {
    return {keyCode, mods.shift, mods.control, mods.alt, mods.meta};
}

TEST(WebKeyTranslation, KeyDownsGoThroughTheKeyMapOrToTheBrowser) {
    constexpr auto MAP = WebKeyRoute::KeyMap;
    constexpr auto BROWSER = WebKeyRoute::Browser;
    struct Case {
        const char* what;
        BrowserKeyEvent event;
        WebKeyRoute route;
        std::uint32_t virtualKey;
        bool prevents;
        bool entersFullScreen;
    };
    const Case cases[] = {
        {"Page Up", event(KEY_PAGE_UP), MAP, KEY_PAGE_UP, true, true},
        {"Ctrl+Page Up", event(KEY_PAGE_UP, {.control = true}), MAP, KEY_PAGE_UP, true, true},
        {"Shift+Delete", event(KEY_DELETE, {.shift = true}), MAP, KEY_DELETE, true, true},
        {"Home", event(KEY_HOME), MAP, KEY_HOME, true, true},
        {"B", event(KEY_B), MAP, KEY_B, true, true},
        {"Ctrl+R is reset, not a reload", event(KEY_R, {.control = true}), MAP, KEY_R, true, true},
        {"Space", event(0x20), MAP, 0x20, true, true},
        {"Tab steps a page instead of moving focus", event(0x09), MAP, 0x09, true, true},
        {"F1", event(0x70), MAP, 0x70, true, true},
        {"a key the browser names no code for", event(0), MAP, WEB_KEY_UNMAPPED, true, true},
        {"Shift alone", event(KEY_SHIFT, {.shift = true}), MAP, KEY_SHIFT, true, false},
        {"Ctrl alone", event(KEY_CONTROL, {.control = true}), MAP, KEY_CONTROL, true, false},
        {"AltGr as Ctrl+Alt", event(KEY_B, {.control = true, .alt = true}), MAP, KEY_B, true, true},
        {"Escape, the browser's too", event(KEY_ESCAPE), MAP, KEY_ESCAPE, false, false},
        {"Alt alone", event(KEY_ALT, {.alt = true}), BROWSER, KEY_ALT, false, false},
        {"Alt+B, a system key", event(KEY_B, {.alt = true}), BROWSER, KEY_B, false, false},
        {"Alt+F4", event(0x73, {.alt = true}), BROWSER, 0x73, false, false},
        {"F10, a system key", event(0x79), BROWSER, 0x79, false, false},
        {"F5 reloads", event(0x74), BROWSER, 0x74, false, false},
        {"Ctrl+F5 reloads", event(0x74, {.control = true}), BROWSER, 0x74, false, false},
        {"F11 is the browser's full screen", event(0x7A), BROWSER, 0x7A, false, false},
        {"F12 opens the developer tools", event(0x7B), BROWSER, 0x7B, false, false},
        {"Command or the Windows key alone", event(0x5B, {.meta = true}), BROWSER, 0x5B, false, false},
        {"Command+R", event(KEY_R, {.meta = true}), BROWSER, KEY_R, false, false},
        {"Firefox's Command", event(224, {.meta = true}), BROWSER, 224, false, false},
        {"an input method composing", event(229), BROWSER, 229, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WebKey key = translateWebKeyDown(c.event);
        EXPECT_EQ(key.route, c.route);
        EXPECT_EQ(key.virtualKey, c.virtualKey);
        EXPECT_EQ(key.preventsBrowserAction, c.prevents);
        EXPECT_EQ(key.mayEnterFullScreen, c.entersFullScreen);
    }
}

TEST(WebKeyTranslation, KeyUpsNeverEnterFullScreen) {
    for (const std::uint32_t code : {KEY_SHIFT, KEY_CONTROL, KEY_PAGE_UP, std::uint32_t{0x20}}) {
        const WebKey key = translateWebKeyUp(event(code));
        EXPECT_EQ(key.route, WebKeyRoute::KeyMap) << code;
        EXPECT_FALSE(key.mayEnterFullScreen) << code;
    }
    EXPECT_EQ(translateWebKeyUp(event(0x74)).route, WebKeyRoute::Browser);
}

TEST(WebKeyTranslation, ModifiersComeFromEveryEvent) {
    // Ctrl released in another tab: the next key's own flags count.
    ControlState state;
    state.keys.controlDown = true;
    state.keys = webModifierState(event(KEY_PAGE_UP));
    EXPECT_EQ(handleKeyDown(state, KEY_PAGE_UP), KeyEffect::Redraw);
    EXPECT_DOUBLE_EQ(state.calibration.red.gamma, 1.01);

    state.keys = webModifierState(event(KEY_PAGE_UP, {.shift = true, .control = true}));
    handleKeyDown(state, KEY_PAGE_UP);
    EXPECT_DOUBLE_EQ(state.calibration.blue.gamma, 1.01) << "Shift wins over Ctrl";
    EXPECT_DOUBLE_EQ(state.calibration.green.gamma, 1.0);

    state.keys = webModifierState(event(KEY_HOME, {.control = true}));
    handleKeyDown(state, KEY_HOME);
    EXPECT_DOUBLE_EQ(state.calibration.green.contrast, 1.01);
}

}  // namespace
}  // namespace veltrane
