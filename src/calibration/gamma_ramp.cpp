#include "calibration/gamma_ramp.h"

#include <array>

namespace veltrane {
namespace {

// round(numerator / denominator) for non-negative integers.
std::uint64_t roundedQuotient(std::uint64_t numerator, std::uint64_t denominator) {
    return (2 * numerator + denominator) / (2 * denominator);
}

CalibrationTable identityTable() {
    CalibrationTable table;
    for (auto& channel : table.levels) {
        for (int k = 0; k < TABLE_LEVELS; ++k) channel[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
    }
    return table;
}

}  // namespace

int levelForRampEntry(std::size_t index, std::size_t size) {
    if (size < 2) return 0;
    return static_cast<int>(roundedQuotient(index * 255u, size - 1));
}

GammaRamp rampFromTable(const CalibrationTable& table, std::size_t size) {
    GammaRamp ramp;
    std::array<std::vector<std::uint16_t>*, 3> channels{&ramp.red, &ramp.green, &ramp.blue};
    for (std::size_t c = 0; c < channels.size(); ++c) {
        channels[c]->resize(size);
        for (std::size_t i = 0; i < size; ++i) {
            const auto level = table.levels[c][static_cast<std::size_t>(levelForRampEntry(i, size))];
            (*channels[c])[i] = sixteenBitLevel(level);
        }
    }
    return ramp;
}

GammaRamp identityRamp(std::size_t size) {
    GammaRamp ramp;
    ramp.red.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        ramp.red[i] = size < 2 ? 0 : static_cast<std::uint16_t>(roundedQuotient(i * 65535u, size - 1));
    }
    ramp.green = ramp.red;
    ramp.blue = ramp.red;
    return ramp;
}

bool rampHoldsTable(const GammaRamp& ramp, const CalibrationTable& table) {
    const std::size_t size = ramp.size();
    if (size < 2 || ramp.green.size() != size || ramp.blue.size() != size) return false;
    const std::array<const std::vector<std::uint16_t>*, 3> channels{&ramp.red, &ramp.green, &ramp.blue};
    for (std::size_t c = 0; c < channels.size(); ++c) {
        for (std::size_t i = 0; i < size; ++i) {
            const auto expected = table.levels[c][static_cast<std::size_t>(levelForRampEntry(i, size))];
            if (roundedQuotient((*channels[c])[i], 257) != expected) return false;
        }
    }
    return true;
}

RampContent classifyRamp(const GammaRamp& ramp, const CalibrationTable& table) {
    if (rampHoldsTable(ramp, identityTable())) return RampContent::Identity;
    if (rampHoldsTable(ramp, table)) return RampContent::ThisCalibration;
    return RampContent::SomethingElse;
}

const char* describeRampContent(RampContent content) {
    switch (content) {
        case RampContent::Identity: return "identity";
        case RampContent::ThisCalibration: return "this calibration";
        case RampContent::SomethingElse: break;
    }
    return "something else";
}

}  // namespace veltrane
