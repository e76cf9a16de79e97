#include "patterns/gamma_check.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace veltrane {
namespace {

constexpr double RAMP_SPAN = 10.0;  // five periods from the left column to the right one
constexpr double RAMP_PERIOD = 2.0;
constexpr double RESPONSE_EXPONENT = 2.2;
constexpr double INVERSE_RESPONSE_EXPONENT = 0.45454545454545453;  // nearest double to 1 / 2.2

void storeCorrected(std::uint8_t* pixel, const ColorCalibration& calibration, double intensity) {
    pixel[0] = static_cast<std::uint8_t>(correctLevel(calibration.blue, intensity));
    pixel[1] = static_cast<std::uint8_t>(correctLevel(calibration.green, intensity));
    pixel[2] = static_cast<std::uint8_t>(correctLevel(calibration.red, intensity));
}

}  // namespace

double gammaCheckRamp(std::int32_t column, std::int32_t width) {
    // A one-pixel-wide surface has no span to divide; its only column is t = 0.
    const double step = width > 1 ? RAMP_SPAN / (width - 1) : 0.0;
    double x = column * step;
    while (x > RAMP_PERIOD) x -= RAMP_PERIOD;
    if (x > 1.0) x = RAMP_PERIOD - x;
    return x;
}

bool drawGammaCheck(Surface& backBuffer, const ColorCalibration& calibration) {
    LockedSurface locked;
    if (!backBuffer.lock(locked)) return true;

    const auto pitch = static_cast<std::size_t>(locked.pitch);
    std::vector<std::uint8_t> rampRow;
    std::vector<std::uint8_t> complementRow;
    try {
        // Zeroed, so the bytes no pixel sets (the fourth byte, the row's tail) are defined.
        rampRow.assign(pitch, 0);
        complementRow.assign(pitch, 0);
    } catch (const std::bad_alloc&) {
        backBuffer.unlock();
        return true;
    }

    const std::int32_t step = locked.pixelStep();
    for (std::int32_t i = 0; i < locked.width; ++i) {
        const double t = gammaCheckRamp(i, locked.width);
        const double y =
            std::pow(1.0 - std::pow(t, RESPONSE_EXPONENT), INVERSE_RESPONSE_EXPONENT);
        storeCorrected(rampRow.data() + static_cast<std::size_t>(i) * step, calibration, t);
        storeCorrected(complementRow.data() + static_cast<std::size_t>(i) * step, calibration, y);
    }

    // Every row is written, the bottom row of an odd height included, so nothing
    // of the previous page survives.
    for (std::int32_t row = 0; row < locked.height; ++row) {
        const auto& source = (row & 1) == 0 ? rampRow : complementRow;
        std::memcpy(locked.row(row), source.data(), pitch);
    }

    backBuffer.unlock();
    return false;
}

}  // namespace veltrane
