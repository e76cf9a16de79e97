// The exporter's command line, parsed with CLI11: which pages, what size and
// depth, the nine parameter values (from a settings file and/or options) and
// where the PNG files go.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "tools/calibration_options.h"

namespace veltrane {

struct RenderOptions {
    std::optional<int> page;  // one page to PATH, or all 21 into the folder PATH
    int width = 1920;
    int height = 1080;
    int bitsPerPixel = 32;
    std::optional<std::string> settingsFile;
    ParameterOverrides overrides = noOverrides();
    bool caption = true;
    std::optional<std::string> fontFile;  // the caption's font instead of fontconfig's choice
    std::string output;
};

// Parses the command line. Returns nothing when the program should stop at
// once (after --help, or after printing why the command line is wrong); the
// exit code to use is then in `exitCode`.
std::optional<RenderOptions> parseRenderOptions(int argc, char** argv, int& exitCode);

}  // namespace veltrane
