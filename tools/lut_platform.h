// The words and option names in which veltrane-lut differs between
// platforms: what the display's ramp holders are called and chosen by (an
// X11 output and its CRTC; a Windows display by number or device name), and
// where the user is sent when the ramps cannot be reached or refuse a table.
// The commands themselves are the same everywhere (lut_commands); each
// platform's build provides these.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltrane {

struct LutPlatformText {
    const char* appDescription;
    const char* settingsHelp;     // --settings FILE
    const char* valueDefault;     // in each value option's help: what the option replaces
    const char* holderOption;     // "--output", "--display"
    const char* holderTypeName;   // "NAME", "N|NAME"
    const char* holderHelp;
    const char* applyHelp;
    const char* resetHelp;
    const char* showHelp;
    const char* noSuchHolder;     // "no active output is named"
    const char* knownHolders;     // "the outputs are"
    // After "the display's gamma ramps cannot be reached here: WHY.": what to do instead.
    const char* unreachableAdvice;
    // After a ramp the system refused: why it may have, and what to do instead. Empty where there is nothing to add.
    const char* refusedAdvice;

    const char* installHelp;
    const char* uninstallHelp;
    const char* profileDisplayOption;  // install's and uninstall's: "--output", "--display"
    const char* profileDisplayHelp;
    const char* profileStoreName;      // "the desktop's colour settings"
    // After "PROFILE STORE cannot be reached here: WHY.": what to do instead.
    const char* profileStoreAdvice;
    const char* noSuchProfileDisplay;  // "no display device is known for output"
    const char* noProfileDisplays;     // the whole sentence for a store that knows no display
};

const LutPlatformText& lutPlatformText();

// The command line as UTF-8, program name first: argv as it is where the
// system passes UTF-8, the wide command line converted on Windows (whose
// narrow argv loses what the code page cannot hold).
std::vector<std::string> utf8Arguments(int argc, char** argv);

}  // namespace veltrane
