// How the command-line tools choose the nine values: a settings file read as
// the Linux program reads it, then any of the nine value options on top.
// Shared by veltrane-render and veltrane-lut so both read values alike.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/control_state.h"
#include "calibration/color_calibration.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace veltrane {

struct SettingsSource;

struct ParameterOverride {
    Channel channel;
    Parameter parameter;
    std::optional<double> value;
};

using ParameterOverrides = std::array<ParameterOverride, 9>;

ParameterOverrides noOverrides();

// The options --settings FILE and --red-brightness X .. --blue-gamma X on one
// CLI11 app. Keep the object alive until the command line has been parsed.
class CalibrationOptions {
public:
    // `valueDefault` says in each value option's help what it replaces.
    void addTo(CLI::App& app, const std::string& settingsHelp,
               const std::string& valueDefault = "default 1.0, or the settings file's value");

    // After parsing: the settings file given, if any, and the values given.
    std::optional<std::string> settingsFile() const;
    ParameterOverrides overrides() const;

private:
    std::string settingsFile_;
    CLI::Option* settingsOption_ = nullptr;
    std::array<std::string, 9> overrideTexts_;
    std::array<CLI::Option*, 9> overrideOptions_{};
};

// The values from the settings file at `settingsFile` (all 1.0 without one;
// values the file lacks are 1.0, as in the program), then the overrides.
// Lines of the file the reader cannot use are named on standard error. A file
// that cannot be read at all (missing, unreadable, not a regular file, too
// large) gives nothing, after saying why: a picture or table made with other
// values than the ones asked for would mislead.
std::optional<ColorCalibration> chooseCalibration(const std::optional<std::string>& settingsFile,
                                                  const ParameterOverrides& overrides, const char* programName);

// The same from a source already read (calibration/settings_source.h): its
// values, then the overrides; nothing, after saying why, when it is unusable.
std::optional<ColorCalibration> chooseCalibration(const SettingsSource& source, const ParameterOverrides& overrides,
                                                  const char* programName);

// A decimal number read to the nearest double, so the text Python's repr()
// gives for a value comes back as exactly that value. Nothing when the text
// is not a whole finite number.
std::optional<double> parseExactDouble(const std::string& text);

}  // namespace veltrane
