// The Linux program's command line: what runs, what is printed where, and the
// exit code, for each kind of command line.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sdl/command_line.h"
#include "veltrane_version.h"

namespace veltrane {
namespace {

struct Parsed {
    CommandLine commandLine;
    std::string out;
    std::string err;
};

Parsed parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "veltrane");
    std::ostringstream out;
    std::ostringstream err;
    Parsed parsed;
    parsed.commandLine = parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), out, err);
    parsed.out = out.str();
    parsed.err = err.str();
    return parsed;
}

TEST(CommandLine, NoOptionsRunsOnTheDefaultDisplayAndPrintsNothing) {
    const Parsed p = parse({});
    EXPECT_EQ(p.commandLine.action, CommandLineAction::RunProgram);
    EXPECT_EQ(p.commandLine.display, std::nullopt);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err, "");
}

TEST(CommandLine, VersionPrintsTheProjectVersionOnStandardOutput) {
    const Parsed p = parse({"--version"});
    EXPECT_EQ(p.commandLine.action, CommandLineAction::Exit);
    EXPECT_EQ(p.commandLine.exitCode, 0);
    EXPECT_EQ(p.out, std::string("veltrane ") + VELTRANE_VERSION_TEXT + "\n");
    EXPECT_EQ(p.err, "");
}

TEST(CommandLine, HelpNamesEveryOptionOnStandardOutput) {
    for (const char* flag : {"--help", "-h"}) {
        const Parsed p = parse({flag});
        EXPECT_EQ(p.commandLine.action, CommandLineAction::Exit) << flag;
        EXPECT_EQ(p.commandLine.exitCode, 0) << flag;
        EXPECT_EQ(p.err, "") << flag;
        for (const char* option : {"Usage: veltrane", "--help", "--version", "--display N", "--list-displays"}) {
            EXPECT_NE(p.out.find(option), std::string::npos) << flag << " lacks " << option << ":\n" << p.out;
        }
    }
}

TEST(CommandLine, DisplayNumberIsPassedOnAsGiven) {
    struct Case {
        std::vector<const char*> arguments;
        int display;
    };
    const Case cases[] = {
        {{"--display", "0"}, 0},
        {{"--display", "3"}, 3},
        {{"--display=2"}, 2},
        // Whether a number names a monitor is for the display choice to say, with the monitors known.
        {{"--display", "-1"}, -1},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.arguments);
        EXPECT_EQ(p.commandLine.action, CommandLineAction::RunProgram) << c.arguments[0];
        EXPECT_EQ(p.commandLine.display, c.display) << c.arguments[0];
        EXPECT_EQ(p.err, "") << c.arguments[0];
    }
}

TEST(CommandLine, ListDisplaysAsksForTheList) {
    const Parsed p = parse({"--list-displays"});
    EXPECT_EQ(p.commandLine.action, CommandLineAction::ListDisplays);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err, "");
}

TEST(CommandLine, MistakesEndWithTheUsageCodeAndSayWhatIsWrongOnStandardError) {
    struct Case {
        std::vector<const char*> arguments;
        const char* errorPart;
    };
    const Case cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"page-3"}, "page-3"},
        {{"--display"}, "--display"},
        {{"--display", "two"}, "two"},
        {{"--display", "1.5"}, "1.5"},
        {{"--display", "1", "--list-displays"}, "cannot be used together"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.arguments);
        EXPECT_EQ(p.commandLine.action, CommandLineAction::Exit) << c.arguments[0];
        EXPECT_EQ(p.commandLine.exitCode, EXIT_USAGE_ERROR) << c.arguments[0];
        EXPECT_NE(p.err.find(c.errorPart), std::string::npos) << p.err;
        EXPECT_NE(p.err.find("--help"), std::string::npos) << p.err;
        EXPECT_EQ(p.out, "") << c.arguments[0];
    }
}

}  // namespace
}  // namespace veltrane
