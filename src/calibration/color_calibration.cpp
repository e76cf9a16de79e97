#include "calibration/color_calibration.h"

#include <cmath>

namespace veltrane {

std::int32_t truncateToInt32(double value) {
    constexpr double twoTo63 = 9223372036854775808.0;
    std::int64_t wide = INT64_MIN;
    if (std::isfinite(value) && std::fabs(value) < twoTo63) {
        wide = static_cast<std::int64_t>(value);  // in range, so the cast truncates exactly
    }
    // Keeping the low 32 bits: the unsigned conversion is modular, and the
    // conversion back to signed is two's complement since C++20.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
}

int correctLevel(const ChannelCalibration& channel, double intensity) {
    const double offset = channel.brightness - 1.0;
    const double shaped = std::pow(intensity, channel.gamma);
    const double scaled = (shaped * channel.contrast + offset) * 255.0;
    const std::int32_t level = truncateToInt32(scaled);
    if (level < 0) return 0;
    if (level > 255) return 255;
    return level;
}

std::uint32_t correctedColor(const ColorCalibration& calibration, double red, double green,
                             double blue) {
    const auto r = static_cast<std::uint32_t>(correctLevel(calibration.red, red));
    const auto g = static_cast<std::uint32_t>(correctLevel(calibration.green, green));
    const auto b = static_cast<std::uint32_t>(correctLevel(calibration.blue, blue));
    return (r << 16) | (g << 8) | b;
}

void resetCalibration(ColorCalibration& calibration) { calibration = ColorCalibration{}; }

}  // namespace veltrane
