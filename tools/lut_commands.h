// What veltrane-lut's subcommands do, apart from reading the command line:
// choosing the values, writing an export, the ramp commands over whatever
// holds the display's ramps (GammaRampDevice), and the profile commands over
// the system's store of display profiles (ProfileStore). Portable: the
// system is reached only through the seams, so every platform's tool runs
// the same commands and prints the same words.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "calibration/calibration_table.h"
#include "calibration/color_calibration.h"
#include "calibration/gamma_ramp_device.h"
#include "calibration/profile_store.h"
#include "tools/calibration_options.h"

namespace veltrane {

inline constexpr int LUT_EXIT_FAILED = 1;

struct ChosenValues {
    ColorCalibration calibration;
    std::string source;  // where the values came from, for show
};

// The values from --settings, else the stored settings, then the value
// options. Nothing (after saying why) when the settings cannot be used.
std::optional<ChosenValues> chooseValues(const CalibrationOptions& options);

// Writes an export through writeFile (platform/file_writing.h) and says so on
// standard output, unless the export went there; 1 after the reason when it
// cannot be written.
int writeExport(const std::string& path, const std::string& bytes, const char* what);

void printValues(const ChosenValues& values);
void printTableRows(const CalibrationTable& table);

// The message for ramps that cannot be reached, pointing to the profile; 1.
int rampsUnreachable(const std::string& why);

// apply (with a table) and reset (without): every ramp holder, or those
// driving output `outputName`. 1 when any ramp could not be set.
int loadRamps(GammaRampDevice& device, const CalibrationTable* table, const std::string& outputName);

// show's part on the ramps: what each one holds.
int showRamps(GammaRampDevice& device, const CalibrationTable& table);

// The message for a profile store that cannot be reached, pointing to the
// 'icc' export and the desktop's colour settings; 1.
int profileStoreUnreachable(const std::string& why);

// The displays a profile command works on: every display the store knows,
// or the one on output `outputName`. Nothing, after saying why (with the
// displays the store knows), when there is none.
std::optional<std::vector<ProfileDisplay>> chooseProfileDisplays(ProfileStore& store, const std::string& outputName);

// install: the profile of `table` with `description`, as each chosen
// display's default. 1 when any display could not get it.
int installProfiles(ProfileStore& store, const CalibrationTable& table, const std::string& description,
                    const std::string& outputName);

// uninstall: our profile away from each chosen display. 1 when any failed.
int uninstallProfiles(ProfileStore& store, const std::string& outputName);

// show's part on the profiles: each display's default, whether it is ours
// and whether its table holds `table`.
int showProfiles(ProfileStore& store, const CalibrationTable& table);

}  // namespace veltrane
