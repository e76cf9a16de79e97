// The browser edition's entry point: the web primitives of the shared program
// flow (app/program_flow.h), so the key map, the pages, the caption and the
// settings are the other programs', in a page.
// Start-up: page 0; the canvas and the watch on its size in device pixels;
// the back buffer at that size; the values from localStorage; values the
// address carries, applied and stored once; the caption font the page's
// loader put at CAPTION_FONT_FILE; the event handlers; the first page on the
// canvas. Then main returns and the browser calls back in: keys through the
// key map, the control bar's buttons as the keys they stand for, a new canvas
// size drawn at once, and each changed page put on the canvas in the next
// animation frame. A page has no exit, so every changed value is stored at
// once; Escape, which ends the other programs, leaves full screen.
// Depends on the core (key map, program flow, settings codec), the FreeType
// caption text, the Little CMS exports and the browser layer (browser_page).
#include <emscripten/console.h>
#include <emscripten/emscripten.h>
#include <emscripten/eventloop.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/key_map.h"
#include "app/program_flow.h"
#include "calibration/calibration_table.h"
#include "display/memory_surface.h"
#include "platform/freetype/freetype_text_renderer.h"
#include "platform/lcms/calibration_exports.h"
#include "platform/web/address_values.h"
#include "platform/web/browser_page.h"
#include "platform/web/canvas_pixels.h"
#include "platform/web/web_key_translation.h"
#include "platform/web/web_settings_store.h"

namespace {

using namespace veltrane;

// Where web_loader.js writes the font the site ships, before main runs.
constexpr const char* CAPTION_FONT_FILE = "/fonts/DejaVuSans.ttf";
// The control bar goes after this much stillness of the pointer.
constexpr double BAR_STILLNESS_MS = 2000.0;
// Space, one of the keys that step to the next page, for the bar's button.
constexpr std::uint32_t NEXT_PAGE_KEY = 0x20;

class WebProgram final : public ProgramPlatform {
public:
    WebProgram() { savesEveryChange = true; }

    StartUpStep openDisplay() override;
    StartUpStep createWindow() override;
    StartUpStep setUpScreen() override;
    void showWindow() override;

    SettingsStore& settingsStore() override { return settings; }
    PageTarget pageTarget() override {
        return {*surface, captionText.get(), surface->width(), surface->height(), &gammaRows};
    }
    void notePageDrawn() override { presentPending = true; }
    // Keys only mark the page; it is drawn once, in the next animation
    // frame, however many keys came before it.
    void pageChanged(const ControlState&) override {
        pageDirty = true;
        requestFrame();
    }
    // The browser runs the loop: main returns after start-up.
    void runLoop() override {}
    void presentNow() override { requestFrame(); }
    // A page cannot end its run; what Escape ends here is full screen.
    void endRun() override { browser::leaveFullScreen(); }
    void releaseScreen() override {}
    void settingsSaved(const ColorCalibration& calibration) override;
    void reportSettingsNotSaved(const ColorCalibration& calibration) override;

    void canvasResized(std::int32_t width, std::int32_t height);
    void addressChanged();

    ControlState state;

private:
    struct BarButton {
        const char* selector;
        void (WebProgram::*action)();
    };
    struct BarBinding {
        WebProgram* program;
        void (WebProgram::*action)();
    };

    static EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void* program);
    static EM_BOOL onMouse(int type, const EmscriptenMouseEvent* event, void* program);
    static EM_BOOL onTouch(int type, const EmscriptenTouchEvent* event, void* program);
    static EM_BOOL onBlur(int type, const EmscriptenFocusEvent* event, void* program);
    static EM_BOOL onFullScreenChange(int type, const EmscriptenFullscreenChangeEvent* event, void* program);
    static EM_BOOL onBarButton(int type, const EmscriptenMouseEvent* event, void* binding);
    static EM_BOOL onFrame(double time, void* program);
    static void onBarTimeout(void* program);

    bool keyDown(const BrowserKeyEvent& event);
    bool keyUp(const BrowserKeyEvent& event);
    void registerEvents();
    bool makeBackBuffer(std::int32_t width, std::int32_t height);
    void requestFrame();
    void present();
    void enterFullScreenOnce();
    void pointerActive();
    void updateNote();
    void valuesChanged(const ColorCalibration& calibration);
    void takeAddressValues();

    // The bar's buttons do what their keys do, for the channel the bar has chosen.
    void barKey(std::uint32_t virtualKey);
    void previousPage() { barKey(KEY_B); }
    void nextPage() { barKey(NEXT_PAGE_KEY); }
    void chooseRed() { chooseChannel(Channel::Red); }
    void chooseGreen() { chooseChannel(Channel::Green); }
    void chooseBlue() { chooseChannel(Channel::Blue); }
    void chooseChannel(Channel channel);
    void brightnessDown() { barKey(KEY_DELETE); }
    void brightnessUp() { barKey(KEY_INSERT); }
    void contrastDown() { barKey(KEY_END); }
    void contrastUp() { barKey(KEY_HOME); }
    void gammaDown() { barKey(KEY_PAGE_DOWN); }
    void gammaUp() { barKey(KEY_PAGE_UP); }
    void reset() { barKey(KEY_R); }
    void toggleFullScreen();
    void downloadProfile();
    void downloadCal();
    void copyLink() { browser::copyLink(); }
    void toggleHelp() { helpShown = browser::toggleHelp(); }

    static const BarButton BAR_BUTTONS[];

    std::unique_ptr<MemorySurface> surface;
    std::vector<std::uint8_t> canvasPixels;
    std::unique_ptr<FreeTypeTextRenderer> captionText;
    GammaCheckRows gammaRows;
    browser::LocalStorage storage;
    WebSettingsStore settings{storage};
    std::vector<BarBinding> barBindings;

    bool started = false;
    bool pageDirty = false;
    bool presentPending = false;
    bool frameRequested = false;
    bool fullScreenEntered = false;
    Channel barChannel = Channel::Red;
    bool barShown = false;
    bool barHeld = false;  // the pointer is over the bar
    bool helpShown = false;
    long barTimer = 0;
    long lastPointerX = -1;
    long lastPointerY = -1;
    std::string fontNote;
    std::string storageNote;
};

const WebProgram::BarButton WebProgram::BAR_BUTTONS[] = {
    {"#previous-page", &WebProgram::previousPage},
    {"#next-page", &WebProgram::nextPage},
    {"#channel-red", &WebProgram::chooseRed},
    {"#channel-green", &WebProgram::chooseGreen},
    {"#channel-blue", &WebProgram::chooseBlue},
    {"#brightness-down", &WebProgram::brightnessDown},
    {"#brightness-up", &WebProgram::brightnessUp},
    {"#contrast-down", &WebProgram::contrastDown},
    {"#contrast-up", &WebProgram::contrastUp},
    {"#gamma-down", &WebProgram::gammaDown},
    {"#gamma-up", &WebProgram::gammaUp},
    {"#reset", &WebProgram::reset},
    {"#full-screen", &WebProgram::toggleFullScreen},
    {"#download-icc", &WebProgram::downloadProfile},
    {"#download-cal", &WebProgram::downloadCal},
    {"#link", &WebProgram::copyLink},
    {"#show-help", &WebProgram::toggleHelp},
};

WebProgram* thePage = nullptr;

StartUpStep WebProgram::openDisplay() {
    if (!browser::setUpCanvas()) {
        browser::showStartUpError("This browser cannot show the pages: it offers no canvas to draw into.");
        return StartUpStep::stop();
    }
    return StartUpStep::ok();
}

StartUpStep WebProgram::createWindow() {
    std::int32_t width = 0;
    std::int32_t height = 0;
    browser::canvasSize(width, height);
    return makeBackBuffer(width, height) ? StartUpStep::ok() : StartUpStep::stop();
}

bool WebProgram::makeBackBuffer(std::int32_t width, std::int32_t height) {
    if (width < 0 || height < 0) return false;
    if (surface && surface->width() == width && surface->height() == height) return true;
    surface = std::make_unique<MemorySurface>(width, height, 32);
    canvasPixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    return true;
}

StartUpStep WebProgram::setUpScreen() {
    // The values were read from the storage just before this step.
    for (const std::string& warning : settings.readWarnings()) {
        emscripten_console_warn(("veltrane: " + warning).c_str());
    }
    if (!storage.usable()) {
        storageNote = "The browser's storage is switched off for this page: the values will not be kept.";
    }
    takeAddressValues();

    std::string problem;
    captionText = FreeTypeTextRenderer::createFromFile(CAPTION_FONT_FILE, problem);
    if (!captionText) {
        fontNote = "The caption's font could not be loaded, so the pages are shown without it.";
        emscripten_console_warn(("veltrane: " + fontNote + " (" + problem + ")").c_str());
    }
    registerEvents();
    valuesChanged(state.calibration);
    browser::setChannel(static_cast<int>(barChannel));
    return StartUpStep::ok();
}

void WebProgram::showWindow() {
    present();
    started = true;
    updateNote();
    // What the page lacks is said at once, over the first page, as the other
    // programs' boxes do; the bar then goes as it always does.
    if (!fontNote.empty() || !storageNote.empty()) pointerActive();
}

void WebProgram::takeAddressValues() {
    const std::string fragment = browser::takeAddressFragment();
    if (fragment.empty()) return;
    const AddressValues address = readAddressValues(fragment);
    for (const std::string& warning : address.warnings) {
        emscripten_console_warn(("veltrane: the address: " + warning + "; it is not used").c_str());
    }
    if (address.empty()) {
        browser::setStatus("The address carried no values that could be used.");
        return;
    }
    applyAddressValues(address, state.calibration);
    saveNow(*this, state);
    browser::setStatus("The values came from the link.");
    if (started) {
        pageDirty = true;
        requestFrame();
    }
    pointerActive();
}

void WebProgram::addressChanged() {
    if (started) takeAddressValues();
}

void WebProgram::settingsSaved(const ColorCalibration& calibration) {
    if (!storageNote.empty()) {
        storageNote.clear();
        updateNote();
    }
    valuesChanged(calibration);
}

void WebProgram::reportSettingsNotSaved(const ColorCalibration& calibration) {
    const bool firstTime = storageNote.empty();
    storageNote = "These values will not be kept: " + settings.failure() + ".";
    updateNote();
    valuesChanged(calibration);
    // Said once with the bar; after that the bar carries it whenever it shows.
    if (firstTime && started) pointerActive();
}

// Every change of a value is saved, so the bar's link and readout follow
// each save.
void WebProgram::valuesChanged(const ColorCalibration& calibration) {
    browser::setLink(formatAddressValues(calibration));
    const auto channel = [](const char* name, const ChannelCalibration& c) {
        char text[96];
        std::snprintf(text, sizeof text, "%s %.2f,%.2f,%.2f", name, c.brightness, c.contrast, c.gamma);
        return std::string(text);
    };
    browser::setValues(channel("R", calibration.red) + "  " + channel("G", calibration.green) + "  " +
                       channel("B", calibration.blue));
}

void WebProgram::updateNote() {
    std::string note = fontNote;
    if (!note.empty() && !storageNote.empty()) note += " ";
    note += storageNote;
    browser::setNote(note);
}

void WebProgram::requestFrame() {
    if (frameRequested) return;
    frameRequested = true;
    emscripten_request_animation_frame(onFrame, this);
}

EM_BOOL WebProgram::onFrame(double, void* data) {
    auto& program = *static_cast<WebProgram*>(data);
    program.frameRequested = false;
    if (program.pageDirty) {
        program.pageDirty = false;
        drawCurrentPage(program, program.state);
    }
    if (program.presentPending) program.present();
    return EM_FALSE;
}

void WebProgram::present() {
    LockedSurface locked;
    if (surface->lock(locked)) {
        copyToCanvasPixels(locked, canvasPixels.data());
        surface->unlock();
    }
    browser::putCanvasPixels(canvasPixels.data(), surface->width(), surface->height());
    presentPending = false;
}

// Drawn and put on the canvas at once, within the frame that brought the new
// size, so no frame shows the page stretched or blank.
void WebProgram::canvasResized(std::int32_t width, std::int32_t height) {
    if (!started || !makeBackBuffer(width, height)) return;
    pageDirty = false;
    drawCurrentPage(*this, state);
    present();
}

bool WebProgram::keyDown(const BrowserKeyEvent& event) {
    const WebKey key = translateWebKeyDown(event);
    if (key.route != WebKeyRoute::KeyMap) return false;
    state.keys = webModifierState(event);
    if (key.mayEnterFullScreen) enterFullScreenOnce();
    onKeyDown(*this, state, key.virtualKey);
    return key.preventsBrowserAction;
}

bool WebProgram::keyUp(const BrowserKeyEvent& event) {
    const WebKey key = translateWebKeyUp(event);
    if (key.route != WebKeyRoute::KeyMap) return false;
    state.keys = webModifierState(event);
    handleKeyUp(state, key.virtualKey);
    return key.preventsBrowserAction;
}

// Browsers grant full screen only from a user's gesture: the first key press
// or click on the pages asks for it, once; the bar's button asks again later.
void WebProgram::enterFullScreenOnce() {
    if (fullScreenEntered) return;
    fullScreenEntered = true;
    if (!browser::isFullScreen()) browser::requestFullScreen();
}

void WebProgram::toggleFullScreen() {
    fullScreenEntered = true;
    if (browser::isFullScreen()) {
        browser::leaveFullScreen();
    } else {
        browser::requestFullScreen();
    }
}

void WebProgram::pointerActive() {
    if (!barShown) {
        barShown = true;
        browser::showBar(true);
    }
    if (barTimer != 0) emscripten_clear_timeout(barTimer);
    barTimer = emscripten_set_timeout(onBarTimeout, BAR_STILLNESS_MS, this);
}

void WebProgram::onBarTimeout(void* data) {
    auto& program = *static_cast<WebProgram*>(data);
    program.barTimer = 0;
    // Not from under a pointer resting on it, nor while its help is read.
    if (program.barHeld || program.helpShown) {
        program.barTimer = emscripten_set_timeout(onBarTimeout, BAR_STILLNESS_MS, data);
        return;
    }
    program.barShown = false;
    browser::showBar(false);
}

void WebProgram::barKey(std::uint32_t virtualKey) {
    const KeyState held = state.keys;
    state.keys = KeyState{barChannel == Channel::Blue, barChannel == Channel::Green};
    onKeyDown(*this, state, virtualKey);
    state.keys = held;
}

void WebProgram::chooseChannel(Channel channel) {
    barChannel = channel;
    browser::setChannel(static_cast<int>(channel));
}

void WebProgram::downloadProfile() {
    std::string error;
    const std::optional<std::string> bytes = displayProfileBytes(
        calibrationTable(state.calibration), calibrationDescription(state.calibration), error);
    if (!bytes) {
        browser::setStatus("The profile could not be made: " + error);
        return;
    }
    browser::offerDownload("veltrane.icc", "application/vnd.iccprofile", *bytes);
}

void WebProgram::downloadCal() {
    const std::string text = calFileText(calibrationTable(state.calibration), calibrationDescription(state.calibration));
    browser::offerDownload("veltrane.cal", "text/plain", text);
}

EM_BOOL WebProgram::onKey(int type, const EmscriptenKeyboardEvent* e, void* data) {
    auto& program = *static_cast<WebProgram*>(data);
    const BrowserKeyEvent event{static_cast<std::uint32_t>(e->keyCode), e->shiftKey != 0, e->ctrlKey != 0,
                                e->altKey != 0, e->metaKey != 0};
    return (type == EMSCRIPTEN_EVENT_KEYDOWN ? program.keyDown(event) : program.keyUp(event)) ? EM_TRUE : EM_FALSE;
}

EM_BOOL WebProgram::onMouse(int type, const EmscriptenMouseEvent* event, void* data) {
    auto& program = *static_cast<WebProgram*>(data);
    switch (type) {
        case EMSCRIPTEN_EVENT_MOUSEMOVE:
            // Browsers also send a move when what lies under a still pointer
            // changes (the bar going, say); only a real move shows the bar.
            if (event->clientX == program.lastPointerX && event->clientY == program.lastPointerY) break;
            program.lastPointerX = event->clientX;
            program.lastPointerY = event->clientY;
            program.pointerActive();
            break;
        case EMSCRIPTEN_EVENT_MOUSEDOWN:
            program.pointerActive();
            program.enterFullScreenOnce();
            break;
        case EMSCRIPTEN_EVENT_MOUSEENTER: program.barHeld = true; break;
        case EMSCRIPTEN_EVENT_MOUSELEAVE:
            program.barHeld = false;
            program.pointerActive();
            break;
        default: break;
    }
    return EM_FALSE;
}

EM_BOOL WebProgram::onTouch(int type, const EmscriptenTouchEvent*, void* data) {
    auto& program = *static_cast<WebProgram*>(data);
    program.pointerActive();
    // A tap grants full screen when it ends, not when it starts.
    if (type == EMSCRIPTEN_EVENT_TOUCHEND) program.enterFullScreenOnce();
    return EM_FALSE;
}

EM_BOOL WebProgram::onBlur(int, const EmscriptenFocusEvent*, void* data) {
    handleFocusLost(static_cast<WebProgram*>(data)->state);
    return EM_FALSE;
}

EM_BOOL WebProgram::onFullScreenChange(int, const EmscriptenFullscreenChangeEvent* event, void*) {
    browser::setFullScreenLabel(event->isFullscreen != 0);
    if (event->isFullscreen != 0) browser::lockAdjustmentKeys();
    return EM_FALSE;
}

EM_BOOL WebProgram::onBarButton(int, const EmscriptenMouseEvent*, void* data) {
    const auto& binding = *static_cast<BarBinding*>(data);
    (binding.program->*binding.action)();
    browser::dropFocus();
    binding.program->pointerActive();
    // The link is copied, not followed.
    return EM_TRUE;
}

void WebProgram::registerEvents() {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_FALSE, onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_FALSE, onKey);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, EM_FALSE, onBlur);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, this, EM_FALSE, onMouse);
    emscripten_set_mousedown_callback("#pages", this, EM_FALSE, onMouse);
    emscripten_set_mouseenter_callback("#bar", this, EM_FALSE, onMouse);
    emscripten_set_mouseleave_callback("#bar", this, EM_FALSE, onMouse);
    emscripten_set_touchstart_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, this, EM_FALSE, onTouch);
    emscripten_set_touchend_callback("#pages", this, EM_FALSE, onTouch);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, this, EM_FALSE, onFullScreenChange);
    browser::watchAddress();
    barBindings.reserve(std::size(BAR_BUTTONS));
    for (const BarButton& button : BAR_BUTTONS) {
        barBindings.push_back({this, button.action});
        emscripten_set_click_callback(button.selector, &barBindings.back(), EM_FALSE, onBarButton);
    }
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void veltrane_canvas_resized(std::int32_t width, std::int32_t height) {
    if (thePage != nullptr) thePage->canvasResized(width, height);
}

EMSCRIPTEN_KEEPALIVE void veltrane_address_changed() {
    if (thePage != nullptr) thePage->addressChanged();
}

}  // extern "C"

int main() {
    // The page's one program, for as long as the page is open.
    static WebProgram program;
    thePage = &program;
    if (const std::optional<int> stopped = startProgram(program, program.state)) return *stopped;
    // The browser runs the loop from here; the runtime stays.
    return EXIT_AFTER_RUN;
}
