// Which monitor the program takes over: the one asked for on the command
// line, or the primary one. Kept apart from SDL so the choice can be checked
// against any arrangement of monitors, not only the ones this machine has.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltrane {

struct MonitorBounds {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct Monitor {
    std::string name;
    MonitorBounds bounds;
    bool primary = false;
};

struct MonitorChoice {
    // The monitor's number (its position in the list) when the choice is
    // possible; otherwise nothing, and `error` says why in words for the user.
    std::optional<int> index;
    MonitorBounds bounds;
    std::string error;
};

// `requested` is the number given with --display; without it the primary
// monitor is chosen, or the first one when none says it is primary.
MonitorChoice chooseMonitor(const std::vector<Monitor>& monitors, std::optional<int> requested);

// Whether the user's session is a Wayland one, from WAYLAND_DISPLAY and
// XDG_SESSION_TYPE (either may be null).
bool isWaylandSession(const char* waylandDisplay, const char* sessionType);

// SDL's video drivers to try, as the comma-separated list its driver hint
// takes: the compiled-in ones in SDL's order, except that on a Wayland
// session the Wayland driver comes first. SDL 2 tries X11 first, and a
// Wayland session almost always has XWayland beside it, whose screen the
// compositor scales.
std::string driverPreference(const std::vector<std::string>& compiledIn, bool waylandSession);

// The warning for a program on the X11 route whose X screen is smaller than
// the Wayland output it is shown on (XWayland at a scale: the compositor
// enlarges every X pixel), with how to get exact pixels; nothing when the X
// screen has the output's pixels. `requestedDriver` is SDL_VIDEODRIVER's
// value ("" when unset); `sdlHasWayland` whether this SDL has the driver.
std::optional<std::string> scaledXScreenWarning(const MonitorBounds& xScreen, const std::string& outputName,
                                                std::int32_t outputWidth, std::int32_t outputHeight,
                                                const std::string& scale, const std::string& requestedDriver,
                                                bool sdlHasWayland);

// One line of --list-displays: "1: HDMI-1 2560x1440 at 1920,0 (primary)".
std::string describeMonitor(int index, const Monitor& monitor);

}  // namespace veltrane
