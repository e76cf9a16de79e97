// The calibration as a table: for each channel and each 8-bit input level,
// the level the pages show for it. Everything that takes the calibration out
// of the program (profile, calibration file, video card ramps) starts here,
// so the desktop shows every 8-bit level exactly as the pages did.
#pragma once

#include <array>
#include <cstdint>

#include "calibration/color_calibration.h"

namespace veltrane {

inline constexpr int TABLE_LEVELS = 256;

struct CalibrationTable {
    // levels[channel][k]: channel 0 red, 1 green, 2 blue; k the input level.
    std::array<std::array<std::uint8_t, TABLE_LEVELS>, 3> levels{};

    bool isIdentity() const;
    bool operator==(const CalibrationTable&) const = default;
};

// Each entry is correctLevel of the channel at k / 255.0, the same input the
// level pages give it, so the same conversion and clamping apply.
CalibrationTable calibrationTable(const ColorCalibration& calibration);

// An 8-bit level as a 16-bit table entry: level × 257, so 255 is 65535.
constexpr std::uint16_t sixteenBitLevel(std::uint8_t level) {
    return static_cast<std::uint16_t>(level * 257);
}

}  // namespace veltrane
