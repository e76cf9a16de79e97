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

// One line of --list-displays: "1: HDMI-1 2560x1440 at 1920,0 (primary)".
std::string describeMonitor(int index, const Monitor& monitor);

}  // namespace veltrane
