// The Linux program's command line, parsed with CLI11: --help, --version,
// --display N and --list-displays. Parsing needs no display, so help, version
// and mistakes on the command line are answered even where there is none.
#pragma once

#include <optional>
#include <ostream>

namespace veltrane {

enum class CommandLineAction {
    RunProgram,    // full screen on the requested display (or the primary one)
    ListDisplays,  // print the monitors and end
    Exit,          // help or version was printed, or the command line is wrong: end with exitCode
};

// Exit code of a wrong command line or a display that does not exist, the
// usual code for a usage error. It differs from the -1 (255) of a display
// that cannot be used at all.
constexpr int EXIT_USAGE_ERROR = 2;

struct CommandLine {
    CommandLineAction action = CommandLineAction::RunProgram;
    std::optional<int> display;
    int exitCode = 0;
};

// Help and the version go to `out`; what is wrong with the command line goes
// to `err`.
CommandLine parseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace veltrane
