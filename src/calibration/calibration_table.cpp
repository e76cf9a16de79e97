#include "calibration/calibration_table.h"

namespace veltrane {

bool CalibrationTable::isIdentity() const {
    for (const auto& channel : levels) {
        for (int k = 0; k < TABLE_LEVELS; ++k) {
            if (channel[static_cast<std::size_t>(k)] != k) return false;
        }
    }
    return true;
}

CalibrationTable calibrationTable(const ColorCalibration& calibration) {
    const std::array<const ChannelCalibration*, 3> channels{&calibration.red, &calibration.green,
                                                            &calibration.blue};
    CalibrationTable table;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        for (int k = 0; k < TABLE_LEVELS; ++k) {
            // correctLevel already clamps to 0..255.
            table.levels[c][static_cast<std::size_t>(k)] =
                static_cast<std::uint8_t>(correctLevel(*channels[c], k / 255.0));
        }
    }
    return table;
}

}  // namespace veltrane
