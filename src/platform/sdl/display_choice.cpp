#include "platform/sdl/display_choice.h"

#include <algorithm>
#include <string_view>

namespace veltrane {
namespace {

std::string availableNumbers(std::size_t count) {
    if (count == 1) return "the only display is 0";
    return "the displays are 0 to " + std::to_string(count - 1);
}

}  // namespace

MonitorChoice chooseMonitor(const std::vector<Monitor>& monitors, std::optional<int> requested) {
    MonitorChoice choice;
    if (monitors.empty()) {
        choice.error = "no display was found";
        return choice;
    }

    std::size_t index = 0;
    if (requested) {
        // Compared as signed first: a negative number must not wrap round to
        // a large unsigned index.
        if (*requested < 0 || static_cast<std::size_t>(*requested) >= monitors.size()) {
            choice.error = "there is no display " + std::to_string(*requested) + ": " +
                           availableNumbers(monitors.size()) + " (see --list-displays)";
            return choice;
        }
        index = static_cast<std::size_t>(*requested);
    } else {
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            if (monitors[i].primary) {
                index = i;
                break;
            }
        }
    }

    const MonitorBounds& bounds = monitors[index].bounds;
    if (bounds.width <= 0 || bounds.height <= 0) {
        // A monitor that is switched off can still be listed, without a size;
        // a window on it would be invisible.
        choice.error = "display " + std::to_string(index) + " reports no size (" + std::to_string(bounds.width) +
                       "x" + std::to_string(bounds.height) + ")";
        return choice;
    }
    choice.index = static_cast<int>(index);
    choice.bounds = bounds;
    return choice;
}

bool isWaylandSession(const char* waylandDisplay, const char* sessionType) {
    return (waylandDisplay != nullptr && *waylandDisplay != '\0') ||
           (sessionType != nullptr && std::string_view(sessionType) == "wayland");
}

std::string driverPreference(const std::vector<std::string>& compiledIn, bool waylandSession) {
    std::vector<std::string> names = compiledIn;
    if (waylandSession) {
        std::stable_partition(names.begin(), names.end(), [](const std::string& n) { return n == "wayland"; });
    }
    std::string list;
    for (const std::string& name : names) {
        if (!list.empty()) list += ',';
        list += name;
    }
    return list;
}

std::optional<std::string> scaledXScreenWarning(const MonitorBounds& xScreen, const std::string& outputName,
                                                std::int32_t outputWidth, std::int32_t outputHeight,
                                                const std::string& scale, const std::string& requestedDriver,
                                                bool sdlHasWayland) {
    if (xScreen.width <= 0 || xScreen.height <= 0) return std::nullopt;
    if (xScreen.width >= outputWidth && xScreen.height >= outputHeight) return std::nullopt;
    std::string how;
    if (!requestedDriver.empty() && requestedDriver != "wayland") {
        how = "unset SDL_VIDEODRIVER (it asks for \"" + requestedDriver + "\")";
    } else if (!sdlHasWayland) {
        how = "install an SDL 2 with its Wayland video driver";
    } else {
        how = "make sure WAYLAND_DISPLAY names the running compositor";
    }
    return "the X screen is " + std::to_string(xScreen.width) + "x" + std::to_string(xScreen.height) +
           " but the Wayland output " + (outputName.empty() ? std::string("(no name)") : outputName) + " has " +
           std::to_string(outputWidth) + "x" + std::to_string(outputHeight) + " pixels at scale " + scale +
           ": the compositor scales every pixel of this program, so single-pixel lines and dots are not "
           "single pixels; for exact pixels " + how + " and run it on Wayland";
}

std::string describeMonitor(int index, const Monitor& monitor) {
    const MonitorBounds& b = monitor.bounds;
    std::string line = std::to_string(index) + ": " + (monitor.name.empty() ? "(no name)" : monitor.name) + " " +
                       std::to_string(b.width) + "x" + std::to_string(b.height) + " at " + std::to_string(b.x) +
                       "," + std::to_string(b.y);
    if (monitor.primary) line += " (primary)";
    return line;
}

}  // namespace veltrane
