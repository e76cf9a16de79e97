#include "platform/sdl/command_line.h"

#include <CLI/CLI.hpp>

#include "veltrane_version.h"

namespace veltrane {

CommandLine parseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "Full-screen display test and calibration. Without options it takes over the primary\n"
        "display at its own resolution; the keys are listed in veltrane(1)."};
    app.name("veltrane");
    app.set_version_flag("--version", std::string("veltrane ") + VELTRANE_VERSION_TEXT,
                         "Print the version and exit");
    app.get_formatter()->column_width(24);

    CommandLine result;
    int display = 0;
    CLI::Option* displayOption =
        app.add_option("--display", display,
                       "Take over display N (0, 1, ...; see --list-displays) at its own resolution")
            ->type_name("N");
    bool listDisplays = false;
    app.add_flag("--list-displays", listDisplays, "Print each display's number, name and size, and exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        result.action = CommandLineAction::Exit;
        // Help and version end with 0; every mistake ends with the one usage code.
        result.exitCode = code == static_cast<int>(CLI::ExitCodes::Success) ? 0 : EXIT_USAGE_ERROR;
        return result;
    }

    if (listDisplays && displayOption->count() > 0) {
        // Said here rather than with CLI11's excludes(), which would clutter the help.
        err << "--display and --list-displays cannot be used together\nRun with --help for more information.\n";
        result.action = CommandLineAction::Exit;
        result.exitCode = EXIT_USAGE_ERROR;
    } else if (listDisplays) {
        result.action = CommandLineAction::ListDisplays;
    } else if (displayOption->count() > 0) {
        result.display = display;
    }
    return result;
}

}  // namespace veltrane
