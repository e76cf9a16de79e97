// The browser's side of the web edition, as C++ calls: the steps
// browser_page.js carries out on the page (canvas, storage, address, full
// screen, control bar, downloads). Two calls go the other way, from the page
// into the program: veltrane_canvas_resized when the canvas's size in device
// pixels changes, and veltrane_address_changed when the address's part after
// '#' does; web_main.cpp defines them.
// Emscripten only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/web/web_settings_store.h"

namespace veltrane::browser {

// Finds the canvas and its 2D context and starts watching its size; false
// when the browser offers neither.
bool setUpCanvas();
// The canvas's size in device pixels as last known.
void canvasSize(std::int32_t& width, std::int32_t& height);
// Sizes the canvas's backing store to width x height and puts the pixels
// (red, green, blue, alpha; rows without gaps) on it.
void putCanvasPixels(const std::uint8_t* rgba, std::int32_t width, std::int32_t height);

// localStorage, as the settings store's text storage.
class LocalStorage final : public TextStorage {
public:
    bool usable() override;
    std::optional<std::string> get(std::string_view name) override;
    bool set(std::string_view name, std::string_view text) override;
};

// The address's part after '#', which is then taken out of the address.
std::string takeAddressFragment();
// From now on veltrane_address_changed is called when that part changes.
void watchAddress();
// The control bar's link: this page's address with `fragment` after '#'.
void setLink(const std::string& fragment);
void copyLink();

// False when the browser has no full screen for pages.
bool requestFullScreen();
void leaveFullScreen();
bool isFullScreen();
void lockAdjustmentKeys();

void showBar(bool shown);
// The bar's lasting note (what the page lacks: storage, the caption font)
// and its passing status (what just happened: a link copied, values taken).
void setNote(const std::string& text);
void setStatus(const std::string& text);
// The nine values as the caption shows them, readable where the caption's
// physical pixels are tiny (a phone's screen).
void setValues(const std::string& text);
void setChannel(int channel);  // 0 red, 1 green, 2 blue
bool toggleHelp();             // true when the help is now shown
void setFullScreenLabel(bool fullScreen);
void dropFocus();

void offerDownload(const char* fileName, const char* mimeType, const std::string& bytes);
void showStartUpError(const std::string& text);

}  // namespace veltrane::browser
