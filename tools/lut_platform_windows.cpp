// veltrane-lut's words on Windows: one GDI ramp per display, chosen by its
// number or device name; the profile installed for Windows' own calibration
// loader instead.
#include "tools/lut_platform.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/wide_text.h"

namespace veltrane {

const LutPlatformText& lutPlatformText() {
    static const LutPlatformText text{
        "Takes Veltrane's calibration out of the program: an ICC display profile or a .cal file holding the "
        "correction table, the profile installed as the display's default for Windows to load at every "
        "sign-in, or the display's gamma ramp now. The values are the stored settings (the registry key "
        "HKEY_CURRENT_USER\\Software\\Kardo\\Orlith) unless --settings or value options say otherwise.",
        "Take the nine values from this settings file instead of the registry (the Linux program's "
        "Orlith.conf); the options below override it",
        "default 1.0, or the registry's or the --settings file's value",
        "--display",
        "N|NAME",
        "Only this display: its number (1, 2, ... as 'show' lists them) or its device name (\\\\.\\DISPLAY1)",
        "Load the calibration into the display's gamma ramp now (until the next sign-in)",
        "Set the display's gamma ramp to identity",
        "Print the values, some rows of the table, and what each display's gamma ramp holds",
        "no display is named",
        "the displays are",
        "Install the calibration as the display's profile instead with 'veltrane-lut install': Windows' own "
        "display calibration loader then loads it at every sign-in.",
        "Windows refuses a gamma ramp it finds too far from identity, such as one that lifts black (a "
        "brightness above 1.0) or dims white a lot; the ramp was left as it was. Install the calibration as the "
        "display's profile instead with 'veltrane-lut install': Windows' own display calibration loader then "
        "loads it at every sign-in.",
        "Install the profile into Windows' colour folder as the display's default profile for you, and turn on "
        "Windows' display calibration, which loads its table at every sign-in; replaces the one installed before",
        "Take the installed profile away; the display's previous default profile is the default again, and the "
        "profile's file is removed",
        "--display",
        "Only this display: its number (1, 2, ... as 'show' lists them) or its device name (\\\\.\\DISPLAY1)",
        "Windows' colour settings",
        "Write a profile instead with 'veltrane-lut icc FILE.icc' and add it in Colour Management (colorcpl).",
        "no display is named",
        "Windows lists no display attached to the desktop",
    };
    return text;
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(win32::utf8FromWide(wide[i]));
    LocalFree(wide);
    return arguments;
}

}  // namespace veltrane
