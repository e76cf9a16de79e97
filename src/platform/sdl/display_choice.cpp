#include "platform/sdl/display_choice.h"

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

std::string describeMonitor(int index, const Monitor& monitor) {
    const MonitorBounds& b = monitor.bounds;
    std::string line = std::to_string(index) + ": " + (monitor.name.empty() ? "(no name)" : monitor.name) + " " +
                       std::to_string(b.width) + "x" + std::to_string(b.height) + " at " + std::to_string(b.x) +
                       "," + std::to_string(b.y);
    if (monitor.primary) line += " (primary)";
    return line;
}

}  // namespace veltrane
