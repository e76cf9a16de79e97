// How the nine parameters are stored: signed whole percentages under fixed
// names, read and written in one fixed order. Shared by every platform's store.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "calibration/color_calibration.h"
#include "calibration/settings_store.h"

namespace veltrane {

struct StoredParameter {
    std::string_view name;
    double ChannelCalibration::*field;
    ChannelCalibration ColorCalibration::*channel;
};

// The order in which the values are read and written.
extern const std::array<StoredParameter, 9> STORED_PARAMETERS;

inline constexpr std::int32_t MISSING_VALUE_PERCENT = 100;

// A stored percentage back to a parameter: 250 gives 2.5, -40 gives -0.4.
double percentToParameter(std::int32_t percent);

// A parameter to its stored percentage, rounded to the nearest whole percent so
// that a value shown as 0.90 is stored as 90 and a loaded value is stored back
// unchanged. Values beyond the signed 32-bit range saturate; NaN stores 0.
std::int32_t parameterToPercent(double parameter);

// Replaces all nine parameters from the store. When the store cannot be opened
// the calibration keeps the values it has.
void loadCalibration(SettingsStore& store, ColorCalibration& calibration);

// Writes all nine values. False when the store could not be opened or could not
// keep what was written; the caller then shows settingsFailureMessages().
bool saveCalibration(SettingsStore& store, const ColorCalibration& calibration);

// The three texts shown when the values cannot be saved, one per channel:
// "Red: B=1.000000, C=1.000000, G=1.000000" and so on.
std::array<std::string, 3> settingsFailureMessages(const ColorCalibration& calibration);

inline constexpr std::string_view SETTINGS_FAILURE_CAPTION = "Setting";

}  // namespace veltrane
