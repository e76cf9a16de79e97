#include "tools/calibration_options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "calibration/read_only_settings_store.h"
#include "calibration/settings_codec.h"
#include "calibration/settings_source.h"

namespace veltrane {
namespace {

const char* channelName(Channel channel) {
    switch (channel) {
        case Channel::Red: return "red";
        case Channel::Green: return "green";
        case Channel::Blue: break;
    }
    return "blue";
}

const char* parameterName(Parameter parameter) {
    switch (parameter) {
        case Parameter::Brightness: return "brightness";
        case Parameter::Contrast: return "contrast";
        case Parameter::Gamma: break;
    }
    return "gamma";
}

}  // namespace

ParameterOverrides noOverrides() {
    return {{
        {Channel::Red, Parameter::Brightness, {}},   {Channel::Red, Parameter::Contrast, {}},
        {Channel::Red, Parameter::Gamma, {}},        {Channel::Green, Parameter::Brightness, {}},
        {Channel::Green, Parameter::Contrast, {}},   {Channel::Green, Parameter::Gamma, {}},
        {Channel::Blue, Parameter::Brightness, {}},  {Channel::Blue, Parameter::Contrast, {}},
        {Channel::Blue, Parameter::Gamma, {}},
    }};
}

std::optional<double> parseExactDouble(const std::string& text) {
    // CLI11's own conversion goes through long double, which can round twice;
    // from_chars rounds once, to the nearest double.
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    if (digits.size() < text.size() && (digits.empty() || digits.front() == '+' || digits.front() == '-')) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

void CalibrationOptions::addTo(CLI::App& app, const std::string& settingsHelp, const std::string& valueDefault) {
    settingsOption_ = app.add_option("--settings", settingsFile_, settingsHelp)
                          ->type_name("FILE");  // read, and refused with its reason, by the settings reader
    const CLI::Validator decimal(
        [](std::string& text) {
            return parseExactDouble(text) ? std::string() : "'" + text + "' is not a finite decimal number";
        },
        "", "DECIMAL");
    const ParameterOverrides names = noOverrides();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string channel = channelName(names[i].channel);
        const std::string parameter = parameterName(names[i].parameter);
        overrideOptions_[i] =
            app.add_option("--" + channel + "-" + parameter, overrideTexts_[i],
                           "The " + channel + " " + parameter + " (" + valueDefault + ")")
                ->type_name("X")
                ->check(decimal);
    }
}

std::optional<std::string> CalibrationOptions::settingsFile() const {
    if (settingsOption_ == nullptr || settingsOption_->count() == 0) return std::nullopt;
    return settingsFile_;
}

ParameterOverrides CalibrationOptions::overrides() const {
    ParameterOverrides overrides = noOverrides();
    for (std::size_t i = 0; i < overrides.size(); ++i) {
        if (overrideOptions_[i] != nullptr && overrideOptions_[i]->count() > 0) {
            overrides[i].value = parseExactDouble(overrideTexts_[i]);
        }
    }
    return overrides;
}

std::optional<ColorCalibration> chooseCalibration(const SettingsSource& source, const ParameterOverrides& overrides,
                                                  const char* programName) {
    if (!source.usable) {
        std::fprintf(stderr, "%s: cannot use the settings file: %s\n", programName, source.problem.c_str());
        return std::nullopt;
    }
    for (const std::string& line : source.unusedLines) {
        std::fprintf(stderr, "%s: %s; it is not used\n", programName, line.c_str());
    }
    // The same reading as the program's start-up: stored values, then the
    // shared conversion of stored values to parameters.
    ColorCalibration calibration;
    ReadOnlySettingsStore store(source.values);
    loadCalibration(store, calibration);
    for (const ParameterOverride& o : overrides) {
        if (o.value) calibrationParameter(calibration, o.channel, o.parameter) = *o.value;
    }
    return calibration;
}

std::optional<ColorCalibration> chooseCalibration(const std::optional<std::string>& settingsFile,
                                                  const ParameterOverrides& overrides, const char* programName) {
    const SettingsSource source = settingsFile ? readSettingsFileSource(*settingsFile) : SettingsSource{};
    return chooseCalibration(source, overrides, programName);
}

}  // namespace veltrane
