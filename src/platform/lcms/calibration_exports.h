// The calibration table as the files other programs load: an ICC display
// profile whose 'vcgt' tag holds the table (built with Little CMS), and a
// CGATS .cal calibration file. Both are returned as bytes; writing them is
// the caller's job.
#pragma once

#include <optional>
#include <string>

#include "calibration/calibration_table.h"
#include "calibration/color_calibration.h"

namespace veltrane {

// "Veltrane calibration: red B=1 C=1 G=2.2, green B=1 C=1 G=1, blue B=1 C=1 G=1",
// each value as the shortest text that reads back as the same double.
std::string calibrationDescription(const ColorCalibration& calibration);

// A version 2.4 display profile for an sRGB display (version 2 because
// loaders and older readers refuse version 4 display profiles), with the
// table in its 'vcgt' tag as three 256-entry 16-bit curves and `description`
// as its description. Nothing, with the reason in `error`, when the
// description is not printable ASCII (a version 2 description is ASCII, and
// Little CMS, which desktops read profiles with, reads only that part) or
// Little CMS cannot build the profile.
std::optional<std::string> displayProfileBytes(const CalibrationTable& table, const std::string& description,
                                               std::string& error);

// The table as a CGATS calibration file: CAL, DEVICE_CLASS "DISPLAY",
// COLOR_REP "RGB", fields RGB_I RGB_R RGB_G RGB_B and 256 rows of values 0..1,
// written with enough digits that value × 65535 rounds back to level × 257.
std::string calFileText(const CalibrationTable& table, const std::string& description);

}  // namespace veltrane
