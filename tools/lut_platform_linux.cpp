// veltrane-lut's words on Linux: the X11 display's ramps, one per CRTC,
// chosen by the output it drives; the desktop's colour settings instead.
#include "tools/lut_platform.h"

namespace veltrane {

const LutPlatformText& lutPlatformText() {
    static const LutPlatformText text{
        "Takes Veltrane's calibration out of the program: an ICC display profile or a .cal file holding the "
        "correction table, the profile installed as the display's default in the desktop's colour settings, or "
        "the X11 display's gamma ramps. The values are the stored settings unless --settings or value options say "
        "otherwise.",
        "Take the nine values from this settings file instead of the stored one (the Linux program's "
        "Orlith.conf); the options below override it",
        "default 1.0, or the settings file's value",
        "--output",
        "NAME",
        "Only the CRTC driving this output (as xrandr names it)",
        "Load the calibration into the X11 display's gamma ramps",
        "Set the X11 display's gamma ramps to identity",
        "Print the values, some rows of the table, what each CRTC's gamma ramp holds, and each display's default "
        "profile",
        "no active output is named",
        "the outputs are",
        "Write a profile instead with 'veltrane-lut icc FILE.icc' and load it in the desktop's colour settings "
        "(GNOME or KDE: Settings, Colour; or colormgr).",
        "",
        "Install the profile as the display's default in the desktop's colour settings (colord), replacing the one "
        "installed before",
        "Take the installed profile away; the display's previous default profile is the default again",
        "--output",
        "Only the display on this output (as the desktop names it)",
        "the desktop's colour settings",
        "Write a profile instead with 'veltrane-lut icc FILE.icc' and add it in the desktop's colour settings "
        "(GNOME: Settings, Colour; KDE: System Settings, Colour Management).",
        "no display device is known for output",
        "no display is known to the desktop's colour settings (the desktop registers its displays when the session "
        "starts)",
    };
    return text;
}

std::vector<std::string> utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

}  // namespace veltrane
