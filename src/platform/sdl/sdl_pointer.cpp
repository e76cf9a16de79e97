#include "platform/sdl/sdl_pointer.h"

#include <SDL.h>

namespace veltrane {

SdlPointer::~SdlPointer() {
    if (arrow_ != nullptr) SDL_FreeCursor(arrow_);
}

void SdlPointer::hide() {
    // The standard arrow, as the Windows program's window class has. SDL's
    // own default on X11 borrows the root window's cursor, which some X
    // servers do not bring back when the pointer is shown again.
    if (arrow_ == nullptr) {
        arrow_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
        if (arrow_ != nullptr) SDL_SetCursor(arrow_);
    }
    SDL_ShowCursor(SDL_DISABLE);
    shown_ = false;
}

void SdlPointer::moved(int x, int y) {
    // The first position is where the pointer already was when the window
    // appeared (or came back from a box over it), which is not a movement.
    const bool movement = positionKnown_ && (x != x_ || y != y_);
    positionKnown_ = true;
    x_ = x;
    y_ = y;
    if (!movement) return;
    if (!shown_) SDL_ShowCursor(SDL_ENABLE);
    shown_ = true;
    lastMotionTicks_ = SDL_GetTicks64();
}

std::optional<std::uint32_t> SdlPointer::msUntilHidden() const {
    if (!shown_) return std::nullopt;
    const std::uint64_t still = SDL_GetTicks64() - lastMotionTicks_;
    return still >= STILL_MS ? 0 : static_cast<std::uint32_t>(STILL_MS - still);
}

void SdlPointer::hideWhenStill() {
    if (shown_ && msUntilHidden() == 0u) hide();
}

}  // namespace veltrane
