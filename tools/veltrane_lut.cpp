// veltrane-lut: takes the calibration out of the program. From the same nine
// values as the program (its stored settings, a settings file, or the value
// options), it writes an ICC display profile carrying the table in 'vcgt', or
// a CGATS .cal file; installs that profile as a display's default in the
// system's colour settings (install) or takes it away again (uninstall);
// loads the table into the display's gamma ramps (apply) or resets them
// (reset); and tells what the ramps and the displays' default profiles hold
// (show). Every export is the one table the pages use, so the desktop shows
// each 8-bit level as the pages did.
// This file reads the command line; the commands are in lut_commands, the
// words that differ between platforms in lut_platform, and what reaches the
// system goes through the platform's seams.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calibration/calibration_table.h"
#include "calibration/gamma_ramp_device.h"
#include "calibration/profile_store.h"
#include "platform/lcms/calibration_exports.h"
#include "tools/calibration_options.h"
#include "tools/lut_commands.h"
#include "tools/lut_platform.h"
#include "veltrane_version.h"

namespace {

using namespace veltrane;

int loadRamps(const CalibrationTable* table, const std::string& outputName) {
    std::string error;
    auto device = openDisplayRamps(error);
    if (!device) return rampsUnreachable(error);
    return loadRamps(*device, table, outputName);
}

// The ramps and the profiles, each where it can be reached; a failure only
// when neither can.
int showRampsAndProfiles(const CalibrationTable& table) {
    std::string rampsWhyNot;
    std::string storeWhyNot;
    auto device = openDisplayRamps(rampsWhyNot);
    auto store = openProfileStore(storeWhyNot);
    if (!device && !store) {
        rampsUnreachable(rampsWhyNot);
        return profileStoreUnreachable(storeWhyNot);
    }
    int status = 0;
    if (device) {
        status = showRamps(*device, table);
    } else {
        std::printf("Gamma ramps: cannot be reached here: %s\n", rampsWhyNot.c_str());
    }
    if (store) {
        if (showProfiles(*store, table) != 0) status = LUT_EXIT_FAILED;
    } else {
        std::printf("Display profiles: cannot be reached here: %s\n", storeWhyNot.c_str());
    }
    return status;
}

int installProfiles(const CalibrationTable& table, const std::string& description, const std::string& outputName) {
    std::string error;
    auto store = openProfileStore(error);
    if (!store) return profileStoreUnreachable(error);
    return installProfiles(*store, table, description, outputName);
}

int uninstallProfiles(const std::string& outputName) {
    std::string error;
    auto store = openProfileStore(error);
    if (!store) return profileStoreUnreachable(error);
    return uninstallProfiles(*store, outputName);
}

}  // namespace

int main(int argc, char** argv) {
    const LutPlatformText& words = lutPlatformText();
    // Named once: CLI11 would otherwise show argv[0], a full path on Windows.
    CLI::App app{words.appDescription, "veltrane-lut"};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", std::string("veltrane-lut ") + VELTRANE_VERSION_TEXT,
                         "Print the version and exit");
    app.require_subcommand(1, 1);
    // The value options may come before or after the subcommand.
    app.fallthrough();

    CalibrationOptions calibrationOptions;
    calibrationOptions.addTo(app, words.settingsHelp, words.valueDefault);

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

    std::string installDisplay;
    std::string installDescription;
    CLI::App* install = app.add_subcommand("install", words.installHelp);
    install->add_option(words.profileDisplayOption, installDisplay, words.profileDisplayHelp)
        ->type_name(words.holderTypeName);
    CLI::Option* installDescriptionOption =
        install->add_option("--description", installDescription,
                            "The profile's description (default: Veltrane and the nine values)")
            ->type_name("TEXT");
    std::string uninstallDisplay;
    CLI::App* uninstall = app.add_subcommand("uninstall", words.uninstallHelp);
    uninstall->add_option(words.profileDisplayOption, uninstallDisplay, words.profileDisplayHelp)
        ->type_name(words.holderTypeName);

    std::string applyHolder;
    CLI::App* apply = app.add_subcommand("apply", words.applyHelp);
    apply->add_option(words.holderOption, applyHolder, words.holderHelp)->type_name(words.holderTypeName);
    std::string resetHolder;
    CLI::App* reset = app.add_subcommand("reset", words.resetHelp);
    reset->add_option(words.holderOption, resetHolder, words.holderHelp)->type_name(words.holderTypeName);
    CLI::App* show = app.add_subcommand("show", words.showHelp);

    const std::vector<std::string> arguments = utf8Arguments(argc, argv);
    std::vector<const char*> argumentPointers;
    for (const std::string& argument : arguments) argumentPointers.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(argumentPointers.size()), argumentPointers.data());
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    const std::optional<ChosenValues> chosen = chooseValues(calibrationOptions);
    if (!chosen) return LUT_EXIT_FAILED;
    const ChosenValues& values = *chosen;
    const CalibrationTable table = calibrationTable(values.calibration);
    const std::string defaultDescription = calibrationDescription(values.calibration);

    if (icc->parsed()) {
        std::string error;
        const auto bytes =
            displayProfileBytes(table, descriptionOption->count() > 0 ? description : defaultDescription, error);
        if (!bytes) {
            std::fprintf(stderr, "veltrane-lut: %s\n", error.c_str());
            return LUT_EXIT_FAILED;
        }
        return writeExport(iccPath, *bytes, "the profile");
    }
    if (cal->parsed()) return writeExport(calPath, calFileText(table, defaultDescription), "the calibration");
    if (install->parsed()) {
        return installProfiles(table, installDescriptionOption->count() > 0 ? installDescription : defaultDescription,
                               installDisplay);
    }
    if (uninstall->parsed()) return uninstallProfiles(uninstallDisplay);
    if (apply->parsed()) return loadRamps(&table, applyHolder);
    if (reset->parsed()) return loadRamps(nullptr, resetHolder);
    if (show->parsed()) {
        printValues(values);
        printTableRows(table);
        return showRampsAndProfiles(table);
    }
    return LUT_EXIT_FAILED;
}
