// The per-channel correction model: every level a test page shows (apart from
// the raw line patterns and the caption) passes through correctLevel.
#pragma once

#include <cstdint>

namespace veltrane {

struct ChannelCalibration {
    double brightness = 1.0;  // the model adds brightness - 1 to the scaled intensity
    double contrast = 1.0;    // multiplies the gamma-shaped intensity
    double gamma = 1.0;       // exponent applied to the input intensity
};

struct ColorCalibration {
    ChannelCalibration red;
    ChannelCalibration green;
    ChannelCalibration blue;
};

// One keyboard step. Steps accumulate ordinary double rounding on purpose:
// ten steps down from 1.0 give 0.8999999999999999, not 0.9.
inline constexpr double ADJUST_STEP = 0.01;

// The program's conversion of a double to a signed 32-bit integer: truncate
// toward zero to a signed 64-bit value, where anything not finite or of
// magnitude 2^63 or more becomes -2^63, then keep the low 32 bits as a signed
// value. Written out because a plain cast of an out-of-range double is
// undefined behaviour, and extreme parameters do reach this.
std::int32_t truncateToInt32(double value);

// Corrects one channel's input intensity (0.0 .. 1.0) to a level 0..255.
int correctLevel(const ChannelCalibration& channel, double intensity);

// Three corrected levels packed as 0x00RRGGBB.
std::uint32_t correctedColor(const ColorCalibration& calibration, double red, double green,
                             double blue);

void resetCalibration(ColorCalibration& calibration);

}  // namespace veltrane
