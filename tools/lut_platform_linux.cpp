// veltrane-lut's words on Linux: the X11 display's ramps, one per CRTC,
// chosen by the output it drives; the desktop's colour settings instead.
#include "tools/lut_platform.h"

namespace veltrane {

const LutPlatformText& lutPlatformText() {
    static const LutPlatformText text{
        "Takes Veltrane's calibration out of the program: an ICC display profile or a .cal file holding the "
        "correction table, or the X11 display's gamma ramps. The values are the stored settings unless "
        "--settings or value options say otherwise.",
        "Take the nine values from this settings file instead of the stored one (the Linux program's "
        "Orlith.conf); the options below override it",
        "default 1.0, or the settings file's value",
        "--output",
        "NAME",
        "Only the CRTC driving this output (as xrandr names it)",
        "Load the calibration into the X11 display's gamma ramps",
        "Set the X11 display's gamma ramps to identity",
        "Print the values, some rows of the table, and what each CRTC's gamma ramp holds",
        "no active output is named",
        "the outputs are",
        "Write a profile instead with 'veltrane-lut icc FILE.icc' and load it in the desktop's colour settings "
        "(GNOME or KDE: Settings, Colour; or colormgr).",
        "",
    };
    return text;
}

std::vector<std::string> utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

}  // namespace veltrane
