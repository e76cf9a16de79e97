// The gamma check: even rows carry a ramp t rising and falling five times
// across the width, odd rows the complement y with t^2.2 + y^2.2 = 1. On a
// display with a 2.2 response every column pair emits the light of one white
// row, so the page looks even from edge to edge.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "calibration/color_calibration.h"
#include "display/surface.h"

namespace veltrane {

// The two rows the gamma check copies down the page, kept between drawings.
// Each column costs eight power evaluations (two for its complement, one per
// channel for each row), more than copying the page when the cache holds it;
// but a key press changes one channel, so a program that keeps these rows
// redoes that channel's two and nothing else. Every byte is what a fresh
// computation gives: a channel is reused only when its three parameters are
// bit for bit the ones it was computed with, and everything is recomputed
// when the surface's width, depth or pitch change.
class GammaCheckRows {
public:
    // Brings both rows up to date for this surface and calibration.
    // Throws std::bad_alloc when memory runs out; the rows are then empty.
    void update(const LockedSurface& locked, const ColorCalibration& calibration);

    // Pitch bytes each: colour bytes per pixel, zero in every byte no pixel
    // sets (the fourth byte, the tail past the last pixel).
    const std::vector<std::uint8_t>& rampRow() const { return rampRow_; }
    const std::vector<std::uint8_t>& complementRow() const { return complementRow_; }

private:
    void forget();
    void layOut(const LockedSurface& locked);
    void setChannel(std::size_t byteIndex, const ChannelCalibration& channel);

    std::int32_t width_ = -1;
    std::int32_t step_ = 0;
    std::int32_t pitch_ = 0;
    std::vector<double> ramp_;        // t of each column
    std::vector<double> complement_;  // y of each column
    std::vector<std::uint8_t> rampRow_;
    std::vector<std::uint8_t> complementRow_;
    // What each colour byte of the rows was computed with, in pixel byte
    // order (blue, green, red); empty when it has not been.
    std::array<std::optional<ChannelCalibration>, 3> computedWith_;
};

// True when the surface could not be locked or the scratch rows could not be
// allocated; nothing is written then. Without `kept` every level is computed
// afresh; with it the rows are reused as far as the calibration allows and
// left up to date for the next drawing.
bool drawGammaCheck(Surface& backBuffer, const ColorCalibration& calibration,
                    GammaCheckRows* kept = nullptr);

// The folded ramp value of column `column` on a surface `width` pixels wide.
double gammaCheckRamp(std::int32_t column, std::int32_t width);

}  // namespace veltrane
