#include "tools/render_options.h"

#include <CLI/CLI.hpp>

#include "patterns/page_catalogue.h"
#include "veltrane_version.h"

namespace veltrane {
namespace {

constexpr int LARGEST_SIDE = 16384;

}  // namespace

std::optional<RenderOptions> parseRenderOptions(int argc, char** argv, int& exitCode) {
    RenderOptions options;
    CLI::App app{
        "Draws Veltrane's test pages, caption included, exactly as the program shows them on the "
        "screen, and writes them as 8-bit RGB PNG files."};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", std::string("veltrane-render ") + VELTRANE_VERSION_TEXT,
                         "Print the version and exit");

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
    CalibrationOptions calibrationOptions;
    calibrationOptions.addTo(app,
                             "Start from the nine values in this settings file (the Linux program's "
                             "Orlith.conf), read as the program reads it; the options below override it");
    bool noCaption = false;
    app.add_flag("--no-caption", noCaption, "Leave the caption out");
    std::string fontFile;
    app.add_option("--font", fontFile,
                   "Draw the caption with this font file instead of the one fontconfig finds "
                   "(the browser edition's is DejaVuSans.ttf)")
        ->type_name("FILE");
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
    if (!fontFile.empty()) options.fontFile = fontFile;
    if (pageOption->count() > 0) options.page = page;
    options.settingsFile = calibrationOptions.settingsFile();
    options.overrides = calibrationOptions.overrides();
    exitCode = 0;
    return options;
}

}  // namespace veltrane
