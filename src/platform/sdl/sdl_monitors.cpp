#include "platform/sdl/sdl_monitors.h"

#include <SDL.h>

namespace veltrane {

std::vector<Monitor> listSdlMonitors() {
    std::vector<Monitor> monitors;
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        Monitor monitor;
        if (const char* name = SDL_GetDisplayName(i)) monitor.name = name;
        SDL_Rect bounds{};
        // A monitor whose bounds cannot be read stays in the list with no
        // size, so the numbers still match SDL's and choosing it says why not.
        if (SDL_GetDisplayBounds(i, &bounds) == 0) monitor.bounds = {bounds.x, bounds.y, bounds.w, bounds.h};
        // SDL 2 has no call for the primary monitor; it puts the primary
        // first, and its top left corner is the origin of the desktop.
        monitor.primary = i == 0;
        monitors.push_back(monitor);
    }
    return monitors;
}

}  // namespace veltrane
