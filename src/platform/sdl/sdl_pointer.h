// The mouse pointer over the full-screen pages: hidden, so it never sits on
// a test pattern; shown while the mouse moves, so the user can still find
// it; hidden again once the mouse has been still for a second. The hiding is
// a deadline the event loop waits for, never a poll, so an idle program
// keeps sleeping.
// Depends on SDL2's mouse functions.
#pragma once

#include <cstdint>
#include <optional>

#include <SDL_mouse.h>

namespace veltrane {

class SdlPointer {
public:
    static constexpr std::uint64_t STILL_MS = 1000;

    SdlPointer() = default;
    ~SdlPointer();
    SdlPointer(const SdlPointer&) = delete;
    SdlPointer& operator=(const SdlPointer&) = delete;

    void hide();
    // A motion event at (x, y) in the window: when the pointer really moved
    // it shows and the stillness clock restarts.
    void moved(int x, int y);
    // Milliseconds until the pointer is due to hide (0 when overdue), or
    // nothing when it is hidden and there is nothing to wait for.
    std::optional<std::uint32_t> msUntilHidden() const;
    // Hides the pointer when its still time has run out.
    void hideWhenStill();

private:
    SDL_Cursor* arrow_ = nullptr;
    bool shown_ = true;
    bool positionKnown_ = false;
    int x_ = 0;
    int y_ = 0;
    std::uint64_t lastMotionTicks_ = 0;
};

}  // namespace veltrane
