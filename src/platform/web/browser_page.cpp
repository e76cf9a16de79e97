#include "platform/web/browser_page.h"

#include <cstdlib>

extern "C" {
int veltrane_set_up_canvas();
std::int32_t veltrane_canvas_width();
std::int32_t veltrane_canvas_height();
void veltrane_put_canvas_pixels(const std::uint8_t* rgba, std::int32_t width, std::int32_t height);
int veltrane_storage_usable();
char* veltrane_storage_get(const char* name, std::int32_t* length);
int veltrane_storage_set(const char* name, const char* text);
char* veltrane_take_address_fragment(std::int32_t* length);
void veltrane_watch_address();
void veltrane_set_link(const char* fragment);
void veltrane_copy_link();
int veltrane_request_full_screen();
void veltrane_leave_full_screen();
int veltrane_is_full_screen();
void veltrane_lock_adjustment_keys();
void veltrane_show_bar(int shown);
void veltrane_set_note(const char* text);
void veltrane_set_status(const char* text);
void veltrane_set_values(const char* text);
void veltrane_set_channel(int channel);
int veltrane_toggle_help();
void veltrane_set_full_screen_label(int fullScreen);
void veltrane_drop_focus();
void veltrane_offer_download(const char* name, const char* mimeType, const char* bytes, std::size_t length);
void veltrane_show_start_up_error(const char* text);
}

namespace veltrane::browser {
namespace {

// A text the page handed over in memory it allocated, taken and freed.
std::optional<std::string> takeText(char* pointer, std::int32_t length) {
    if (pointer == nullptr) return std::nullopt;
    std::string text(pointer, static_cast<std::size_t>(length));
    std::free(pointer);
    return text;
}

}  // namespace

bool setUpCanvas() { return veltrane_set_up_canvas() != 0; }

void canvasSize(std::int32_t& width, std::int32_t& height) {
    width = veltrane_canvas_width();
    height = veltrane_canvas_height();
}

void putCanvasPixels(const std::uint8_t* rgba, std::int32_t width, std::int32_t height) {
    veltrane_put_canvas_pixels(rgba, width, height);
}

bool LocalStorage::usable() { return veltrane_storage_usable() != 0; }

std::optional<std::string> LocalStorage::get(std::string_view name) {
    std::int32_t length = 0;
    char* text = veltrane_storage_get(std::string(name).c_str(), &length);
    return takeText(text, length);
}

bool LocalStorage::set(std::string_view name, std::string_view text) {
    return veltrane_storage_set(std::string(name).c_str(), std::string(text).c_str()) != 0;
}

std::string takeAddressFragment() {
    std::int32_t length = 0;
    char* text = veltrane_take_address_fragment(&length);
    return takeText(text, length).value_or(std::string());
}

void watchAddress() { veltrane_watch_address(); }
void setLink(const std::string& fragment) { veltrane_set_link(fragment.c_str()); }
void copyLink() { veltrane_copy_link(); }

bool requestFullScreen() { return veltrane_request_full_screen() != 0; }
void leaveFullScreen() { veltrane_leave_full_screen(); }
bool isFullScreen() { return veltrane_is_full_screen() != 0; }
void lockAdjustmentKeys() { veltrane_lock_adjustment_keys(); }

void showBar(bool shown) { veltrane_show_bar(shown ? 1 : 0); }
void setNote(const std::string& text) { veltrane_set_note(text.c_str()); }
void setStatus(const std::string& text) { veltrane_set_status(text.c_str()); }
void setValues(const std::string& text) { veltrane_set_values(text.c_str()); }
void setChannel(int channel) { veltrane_set_channel(channel); }
bool toggleHelp() { return veltrane_toggle_help() != 0; }
void setFullScreenLabel(bool fullScreen) { veltrane_set_full_screen_label(fullScreen ? 1 : 0); }
void dropFocus() { veltrane_drop_focus(); }

void offerDownload(const char* fileName, const char* mimeType, const std::string& bytes) {
    veltrane_offer_download(fileName, mimeType, bytes.data(), bytes.size());
}

void showStartUpError(const std::string& text) { veltrane_show_start_up_error(text.c_str()); }

}  // namespace veltrane::browser
