// The calibration table as the files other programs load: an ICC display
// profile whose 'vcgt' tag holds the table (built with Little CMS), and a
// CGATS .cal calibration file. Both are returned as bytes; writing them is
// the caller's job. Also the way back: the 'vcgt' of any display profile as
// a ramp, so a profile found on the system can be compared with the values.
#pragma once

#include <optional>
#include <string>

#include "calibration/calibration_table.h"
#include "calibration/color_calibration.h"
#include "calibration/gamma_ramp.h"
#include "calibration/profile_store.h"

namespace veltrane {

// "Veltrane calibration: red B=1 C=1 G=2.2, green B=1 C=1 G=1, blue B=1 C=1 G=1",
// each value as the shortest text that reads back as the same double.
std::string calibrationDescription(const ColorCalibration& calibration);

// A version 2.4 display profile for an sRGB display (version 2 because
// loaders and older readers refuse version 4 display profiles), with the
// table in its 'vcgt' tag as three 256-entry 16-bit curves and `description`
// as its description. Its 'meta' dictionary says Veltrane made it
// (CMF_product, as colour managers read it) and holds `metadata` besides,
// which a profile store may ask for (colord reads the dictionary into the
// profile's Metadata). The header carries the profile's real MD5 id, the one
// colord and the desktops name it by. Nothing, with the reason in `error`,
// when the description is not printable ASCII (a version 2 description is
// ASCII, and Little CMS, which desktops read profiles with, reads only that
// part) or Little CMS cannot build the profile.
std::optional<std::string> displayProfileBytes(const CalibrationTable& table, const std::string& description,
                                               std::string& error, const ProfileMetadata& metadata = {});

// The profile a program installs for a display at exit: the values'
// description and the metadata the display's store asks for.
std::optional<std::string> displayProfileFor(const ColorCalibration& calibration, const ProfileDisplay& display,
                                             std::string& error);

// The 'vcgt' of a display profile as a 256-entry ramp, each entry the curve
// at that 8-bit input, so classifyRamp tells whether it holds a table.
// Nothing, with the reason in `error`, when the bytes are not a profile or
// it has no 'vcgt'.
std::optional<GammaRamp> profileCalibrationRamp(const std::string& profileBytes, std::string& error);

// The table as a CGATS calibration file: CAL, DEVICE_CLASS "DISPLAY",
// COLOR_REP "RGB", fields RGB_I RGB_R RGB_G RGB_B and 256 rows of values 0..1,
// written with enough digits that value × 65535 rounds back to level × 257.
std::string calFileText(const CalibrationTable& table, const std::string& description);

}  // namespace veltrane
