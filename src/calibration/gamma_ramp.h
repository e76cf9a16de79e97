// A CRTC's gamma ramp as the video card holds it, and how it relates to the
// 8-bit calibration table: resampling the table to a ramp of any size, the
// identity ramp, and telling whether a ramp read back holds a given table.
// Plain data and arithmetic, no X11 header, so it is unit tested anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "calibration/calibration_table.h"

namespace veltrane {

struct GammaRamp {
    std::vector<std::uint16_t> red;
    std::vector<std::uint16_t> green;
    std::vector<std::uint16_t> blue;

    std::size_t size() const { return red.size(); }
    bool operator==(const GammaRamp&) const = default;
};

// The 8-bit input level that ramp entry `index` of `size` entries stands for:
// the nearest level to its position index / (size - 1). With 256 entries it
// is the index itself.
int levelForRampEntry(std::size_t index, std::size_t size);

// The table as a ramp of `size` entries (at least 2): each entry is the 16-bit
// form of the table's level for the 8-bit input nearest to it, so every 8-bit
// level the desktop draws comes out exactly as the pages showed it.
GammaRamp rampFromTable(const CalibrationTable& table, std::size_t size);

// The straight ramp, index × 65535 / (size - 1) rounded: what a card holds
// when nothing corrects the display.
GammaRamp identityRamp(std::size_t size);

// Whether `ramp` holds `table`, within the rounding of the ramp: every entry,
// rounded to 8 bits, is the table's level for that entry's input. Cards that
// keep fewer than 16 bits per entry, and the straight identity ramp against
// the identity table, still match; a ramp one 8-bit level away does not.
bool rampHoldsTable(const GammaRamp& ramp, const CalibrationTable& table);

enum class RampContent { Identity, ThisCalibration, SomethingElse };

// Identity when the ramp holds the identity table (also when the calibration
// itself is the identity), ThisCalibration when it holds `table`.
RampContent classifyRamp(const GammaRamp& ramp, const CalibrationTable& table);

const char* describeRampContent(RampContent content);

}  // namespace veltrane
