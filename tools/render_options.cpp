#include "render_options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>

#include "patterns/page_catalogue.h"

namespace veltrane {
namespace {

constexpr int LARGEST_SIDE = 16384;

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

std::optional<RenderOptions> parseRenderOptions(int argc, char** argv, int& exitCode) {
    RenderOptions options;
    CLI::App app{
        "Draws Veltrane's test pages, caption included, exactly as the program shows them on the "
        "screen, and writes them as 8-bit RGB PNG files."};
    app.get_formatter()->column_width(34);

    int page = 0;
    CLI::Option* pageOption =
        app.add_option("--page", page, "Write only page N (0..20) to the file PATH; without it all 21 "
                                       "pages go into the folder PATH as page-00.png .. page-20.png")
            ->type_name("N")
            ->check(CLI::Range(0, PAGE_COUNT - 1).description(""));
    app.add_option("--width", options.width, "Width in pixels (1..16384)")
        ->type_name("W")
        ->check(CLI::Range(1, LARGEST_SIDE).description(""))
        ->capture_default_str();
    app.add_option("--height", options.height, "Height in pixels (1..16384)")
        ->type_name("H")
        ->check(CLI::Range(1, LARGEST_SIDE).description(""))
        ->capture_default_str();
    app.add_option("--bpp", options.bitsPerPixel, "Bits per pixel of the surface drawn into: 24 or 32")
        ->type_name("24|32")
        ->check(CLI::IsMember({24, 32}).description(""))
        ->capture_default_str();
    std::string settingsFile;
    CLI::Option* settingsOption =
        app.add_option("--settings", settingsFile,
                       "Start from the nine values in this settings file (the Linux program's "
                       "Orlith.conf), read as the program reads it; the options below override it")
            ->type_name("FILE");  // read, and refused with its reason, by the settings reader

    const CLI::Validator decimal(
        [](std::string& text) {
            return parseExactDouble(text) ? std::string() : "'" + text + "' is not a finite decimal number";
        },
        "", "DECIMAL");
    std::array<std::string, 9> overrideTexts;
    std::array<CLI::Option*, 9> overrideOptions{};
    for (std::size_t i = 0; i < options.overrides.size(); ++i) {
        const ParameterOverride& o = options.overrides[i];
        const std::string name = std::string("--") + channelName(o.channel) + "-" + parameterName(o.parameter);
        overrideOptions[i] =
            app.add_option(name, overrideTexts[i],
                           std::string("The ") + channelName(o.channel) + " " + parameterName(o.parameter) +
                               " (default 1.0, or the settings file's value)")
                ->type_name("X")
                ->check(decimal);
    }
    bool noCaption = false;
    app.add_flag("--no-caption", noCaption, "Leave the caption out");
    app.add_option("--output", options.output,
                   "The PNG file to write (with --page), or the folder for all 21 pages")
        ->type_name("PATH")
        ->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        exitCode = app.exit(error);
        return std::nullopt;
    }

    options.caption = !noCaption;
    if (pageOption->count() > 0) options.page = page;
    if (settingsOption->count() > 0) options.settingsFile = settingsFile;
    for (std::size_t i = 0; i < options.overrides.size(); ++i) {
        if (overrideOptions[i]->count() > 0) options.overrides[i].value = parseExactDouble(overrideTexts[i]);
    }
    exitCode = 0;
    return options;
}

}  // namespace veltrane
