// The exporter's command line, parsed with CLI11: which pages, what size and
// depth, the nine parameter values (from a settings file and/or options) and
// where the PNG files go.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/control_state.h"

namespace veltrane {

struct ParameterOverride {
    Channel channel;
    Parameter parameter;
    std::optional<double> value;
};

struct RenderOptions {
    std::optional<int> page;  // one page to PATH, or all 21 into the folder PATH
    int width = 1920;
    int height = 1080;
    int bitsPerPixel = 32;
    std::optional<std::string> settingsFile;
    std::array<ParameterOverride, 9> overrides{{
        {Channel::Red, Parameter::Brightness, {}},   {Channel::Red, Parameter::Contrast, {}},
        {Channel::Red, Parameter::Gamma, {}},        {Channel::Green, Parameter::Brightness, {}},
        {Channel::Green, Parameter::Contrast, {}},   {Channel::Green, Parameter::Gamma, {}},
        {Channel::Blue, Parameter::Brightness, {}},  {Channel::Blue, Parameter::Contrast, {}},
        {Channel::Blue, Parameter::Gamma, {}},
    }};
    bool caption = true;
    std::string output;
};

// Parses the command line. Returns nothing when the program should stop at
// once (after --help, or after printing why the command line is wrong); the
// exit code to use is then in `exitCode`.
std::optional<RenderOptions> parseRenderOptions(int argc, char** argv, int& exitCode);

// A decimal number read to the nearest double, so the text Python's repr()
// gives for a value comes back as exactly that value. Nothing when the text
// is not a whole finite number.
std::optional<double> parseExactDouble(const std::string& text);

}  // namespace veltrane
