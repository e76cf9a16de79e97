// veltrane-lut: takes the calibration out of the program. From the same nine
// values as the Linux program (its settings file, or the value options), it
// writes an ICC display profile carrying the table in 'vcgt', or a CGATS .cal
// file, and loads the table into the X11 display's gamma ramps (apply),
// resets them (reset) or tells what they hold (show). Every export is the one
// table the pages use, so the desktop shows each 8-bit level as the pages did.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "calibration/calibration_table.h"
#include "tools/calibration_options.h"
#include "calibration/gamma_ramp.h"
#include "platform/file_writing.h"
#include "platform/lcms/calibration_exports.h"
#include "platform/xdg/settings_file_store.h"
#include "veltrane_version.h"
#ifdef VELTRANE_HAVE_XRANDR
#include "platform/x11/xrandr_gamma_ramps.h"
#endif

namespace {

using namespace veltrane;

constexpr int EXIT_FAILED = 1;

struct ChosenValues {
    ColorCalibration calibration;
    std::string source;  // where the values came from, for show
};

// Nothing (after saying why) when the settings file cannot be used.
std::optional<ChosenValues> chooseValues(const CalibrationOptions& options) {
    std::optional<std::string> file = options.settingsFile();
    std::string source;
    if (file) {
        source = "the settings file " + *file;
    } else if (auto stored = defaultSettingsFilePath(); stored && std::filesystem::exists(*stored)) {
        file = stored;
        source = "the stored settings " + *stored;
    } else {
        source = "no settings file (all values 1.0)";
    }
    bool overridden = false;
    for (const ParameterOverride& o : options.overrides()) overridden = overridden || o.value.has_value();
    if (overridden) source += ", with values from the command line";
    const std::optional<ColorCalibration> calibration = chooseCalibration(file, options.overrides(), "veltrane-lut");
    if (!calibration) return std::nullopt;
    return ChosenValues{*calibration, source};
}

int writeExport(const std::string& path, const std::string& bytes, const char* what) {
    // "veltrane-lut cal /dev/stdout | ..." gets the file and nothing else.
    const bool quiet = isStandardOutput(path);
    std::string error;
    if (!writeFile(path, bytes, error)) {
        std::fprintf(stderr, "veltrane-lut: %s\n", error.c_str());
        return EXIT_FAILED;
    }
    if (!quiet) std::printf("Wrote %s %s\n", what, path.c_str());
    return 0;
}

void printValues(const ChosenValues& values) {
    std::printf("Values from %s:\n  %s\n", values.source.c_str(),
                calibrationDescription(values.calibration).c_str());
}

void printTableRows(const CalibrationTable& table) {
    std::printf("Table (input level -> red green blue):\n");
    for (const int k : {0, 1, 2, 16, 32, 64, 128, 192, 254, 255}) {
        const auto i = static_cast<std::size_t>(k);
        std::printf("  %3d -> %3d %3d %3d\n", k, table.levels[0][i], table.levels[1][i], table.levels[2][i]);
    }
}

int rampsUnreachable(const std::string& why) {
    std::fprintf(stderr,
                 "veltrane-lut: the display's gamma ramps cannot be reached here: %s.\n"
                 "Write a profile instead with 'veltrane-lut icc FILE.icc' and load it in the desktop's "
                 "colour settings (GNOME or KDE: Settings, Colour; or colormgr).\n",
                 why.c_str());
    return EXIT_FAILED;
}

#ifdef VELTRANE_HAVE_XRANDR

std::string crtcName(const CrtcDescription& crtc) {
    std::string name = "CRTC " + std::to_string(crtc.id) + " (";
    if (crtc.outputs.empty()) name += "no output";
    for (std::size_t i = 0; i < crtc.outputs.size(); ++i) name += (i ? ", " : "") + crtc.outputs[i];
    return name + ")";
}

std::unique_ptr<XrandrGammaRamps> openRamps(std::string& error) {
    auto ramps = XrandrGammaRamps::open(error);
    if (ramps && std::getenv("WAYLAND_DISPLAY") != nullptr) {
        std::fprintf(stderr,
                     "veltrane-lut: this is a Wayland session; ramps set through its X11 server "
                     "may not reach the screen. The desktop's colour settings with the 'icc' "
                     "profile work there.\n");
    }
    return ramps;
}

// The CRTCs to change: all, or the one driving output `name`.
std::optional<std::vector<CrtcDescription>> selectCrtcs(GammaRampDevice& device, const std::string& name) {
    std::vector<CrtcDescription> all = device.crtcs();
    if (name.empty()) return all;
    std::vector<CrtcDescription> chosen;
    std::string known;
    for (const CrtcDescription& crtc : all) {
        for (const std::string& output : crtc.outputs) {
            if (output == name) chosen.push_back(crtc);
            known += (known.empty() ? "" : ", ") + output;
        }
    }
    if (chosen.empty()) {
        std::fprintf(stderr, "veltrane-lut: no active output is named '%s'; the outputs are: %s\n", name.c_str(),
                     known.empty() ? "none" : known.c_str());
        return std::nullopt;
    }
    return chosen;
}

int loadRamps(const CalibrationTable* table, const std::string& outputName) {
    std::string error;
    auto device = openRamps(error);
    if (!device) return rampsUnreachable(error);
    const auto crtcs = selectCrtcs(*device, outputName);
    if (!crtcs) return EXIT_FAILED;
    if (crtcs->empty()) {
        std::fprintf(stderr, "veltrane-lut: the X11 display has no CRTC with a gamma ramp\n");
        return EXIT_FAILED;
    }
    int status = 0;
    for (const CrtcDescription& crtc : *crtcs) {
        const GammaRamp ramp = table ? rampFromTable(*table, crtc.rampSize) : identityRamp(crtc.rampSize);
        if (!device->writeRamp(crtc.id, ramp)) {
            std::fprintf(stderr, "veltrane-lut: %s: the ramp of %zu entries could not be set\n",
                         crtcName(crtc).c_str(), crtc.rampSize);
            status = EXIT_FAILED;
            continue;
        }
        std::printf("%s: %s, %zu entries\n", crtcName(crtc).c_str(),
                    table ? "loaded this calibration" : "reset to identity", crtc.rampSize);
    }
    return status;
}

int showRamps(const CalibrationTable& table) {
    std::string error;
    auto device = openRamps(error);
    if (!device) return rampsUnreachable(error);
    std::printf("Gamma ramps:\n");
    for (const CrtcDescription& crtc : device->crtcs()) {
        const auto ramp = device->readRamp(crtc.id);
        std::printf("  %s, %zu entries: %s\n", crtcName(crtc).c_str(), crtc.rampSize,
                    ramp ? describeRampContent(classifyRamp(*ramp, table)) : "cannot be read");
    }
    return 0;
}

#else

int loadRamps(const CalibrationTable*, const std::string&) {
    return rampsUnreachable("this veltrane-lut was built without XRandR (libxrandr-dev)");
}

int showRamps(const CalibrationTable&) {
    return rampsUnreachable("this veltrane-lut was built without XRandR (libxrandr-dev)");
}

#endif

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Takes Veltrane's calibration out of the program: an ICC display profile or a .cal file "
        "holding the correction table, or the X11 display's gamma ramps. The values are the stored "
        "settings unless --settings or value options say otherwise."};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", std::string("veltrane-lut ") + VELTRANE_VERSION_TEXT,
                         "Print the version and exit");
    app.require_subcommand(1, 1);
    // The value options may come before or after the subcommand.
    app.fallthrough();

    CalibrationOptions calibrationOptions;
    calibrationOptions.addTo(app,
                             "Take the nine values from this settings file instead of the stored one "
                             "(the Linux program's Orlith.conf); the options below override it");

    std::string iccPath;
    std::string description;
    CLI::App* icc = app.add_subcommand("icc", "Write an ICC display profile (sRGB, version 2.4) whose 'vcgt' "
                                              "tag holds the calibration");
    icc->add_option("OUT", iccPath, "The .icc file to write")->required();
    CLI::Option* descriptionOption =
        icc->add_option("--description", description, "The profile's description (default: Veltrane and the nine values)")
            ->type_name("TEXT");

    std::string calPath;
    CLI::App* cal = app.add_subcommand("cal", "Write the calibration as a CGATS .cal file for LUT loaders");
    cal->add_option("OUT", calPath, "The .cal file to write")->required();

    std::string applyOutput;
    CLI::App* apply = app.add_subcommand("apply", "Load the calibration into the X11 display's gamma ramps");
    apply->add_option("--output", applyOutput, "Only the CRTC driving this output (as xrandr names it)")
        ->type_name("NAME");
    std::string resetOutput;
    CLI::App* reset = app.add_subcommand("reset", "Set the X11 display's gamma ramps to identity");
    reset->add_option("--output", resetOutput, "Only the CRTC driving this output (as xrandr names it)")
        ->type_name("NAME");
    CLI::App* show = app.add_subcommand(
        "show", "Print the values, some rows of the table, and what each CRTC's gamma ramp holds");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    const std::optional<ChosenValues> chosen = chooseValues(calibrationOptions);
    if (!chosen) return EXIT_FAILED;
    const ChosenValues& values = *chosen;
    const CalibrationTable table = calibrationTable(values.calibration);
    const std::string defaultDescription = calibrationDescription(values.calibration);

    if (icc->parsed()) {
        std::string error;
        const auto bytes =
            displayProfileBytes(table, descriptionOption->count() > 0 ? description : defaultDescription, error);
        if (!bytes) {
            std::fprintf(stderr, "veltrane-lut: %s\n", error.c_str());
            return EXIT_FAILED;
        }
        return writeExport(iccPath, *bytes, "the profile");
    }
    if (cal->parsed()) return writeExport(calPath, calFileText(table, defaultDescription), "the calibration");
    if (apply->parsed()) return loadRamps(&table, applyOutput);
    if (reset->parsed()) return loadRamps(nullptr, resetOutput);
    if (show->parsed()) {
        printValues(values);
        printTableRows(table);
        return showRamps(table);
    }
    return EXIT_FAILED;
}
