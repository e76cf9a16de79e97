#include "tools/lut_commands.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "calibration/settings_source.h"
#include "platform/file_writing.h"
#include "platform/lcms/calibration_exports.h"
#include "tools/lut_platform.h"

namespace veltrane {
namespace {

std::string holderName(const RampHolder& holder) {
    std::string name = holder.label + " (";
    if (holder.outputs.empty()) name += "no output";
    for (std::size_t i = 0; i < holder.outputs.size(); ++i) name += (i ? ", " : "") + holder.outputs[i];
    return name + ")";
}

// The ramp holders to change: all, or the one named: by an output it drives,
// or by its number (1, 2, ...) among those that drive one.
std::optional<std::vector<RampHolder>> selectHolders(GammaRampDevice& device, const std::string& name) {
    std::vector<RampHolder> all = device.rampHolders();
    if (name.empty()) return all;
    std::vector<RampHolder> chosen;
    std::vector<RampHolder> driving;
    std::string known;
    for (const RampHolder& holder : all) {
        if (!holder.outputs.empty()) driving.push_back(holder);
        for (const std::string& output : holder.outputs) {
            if (output == name) chosen.push_back(holder);
            known += (known.empty() ? "" : ", ") + output;
        }
    }
    if (chosen.empty() && !name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
        const unsigned long number = std::strtoul(name.c_str(), nullptr, 10);
        if (number >= 1 && number <= driving.size()) chosen.push_back(driving[number - 1]);
    }
    if (chosen.empty()) {
        const LutPlatformText& text = lutPlatformText();
        std::fprintf(stderr, "veltrane-lut: %s '%s'; %s: %s\n", text.noSuchHolder, name.c_str(), text.knownHolders,
                     known.empty() ? "none" : known.c_str());
        return std::nullopt;
    }
    return chosen;
}

std::string knownDisplays(const std::vector<ProfileDisplay>& displays) {
    std::string known;
    for (const ProfileDisplay& display : displays) known += (known.empty() ? "" : ", ") + display.label;
    return known.empty() ? "none" : known;
}

// What a display's default profile holds, against the table of the values.
std::string describeDefault(const DefaultProfile& profile, const CalibrationTable& table) {
    std::string text = "default profile \"" + profile.title + "\"";
    if (!profile.location.empty()) text += " (" + profile.location + ")";
    if (!profile.broken.empty()) return text + " cannot be used: " + profile.broken;
    text += profile.ours ? ", ours" : ", not ours";
    if (!profile.bytes) return text + ", its file cannot be read";
    std::string why;
    const auto ramp = profileCalibrationRamp(*profile.bytes, why);
    if (!ramp) return text + ", " + why;
    return text + ", its table holds " + describeRampContent(classifyRamp(*ramp, table));
}


}  // namespace

std::optional<ChosenValues> chooseValues(const CalibrationOptions& options) {
    const std::optional<std::string> file = options.settingsFile();
    const SettingsSource source = file ? readSettingsFileSource(*file) : readStoredSettings();
    std::string description = source.description;
    bool overridden = false;
    for (const ParameterOverride& o : options.overrides()) overridden = overridden || o.value.has_value();
    if (overridden) description += ", with values from the command line";
    const std::optional<ColorCalibration> calibration = chooseCalibration(source, options.overrides(), "veltrane-lut");
    if (!calibration) return std::nullopt;
    return ChosenValues{*calibration, description};
}

int writeExport(const std::string& path, const std::string& bytes, const char* what) {
    // "veltrane-lut cal /dev/stdout | ..." gets the file and nothing else.
    const bool quiet = isStandardOutput(path);
    std::string error;
    if (!writeFile(path, bytes, error)) {
        std::fprintf(stderr, "veltrane-lut: %s\n", error.c_str());
        return LUT_EXIT_FAILED;
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
    std::fprintf(stderr, "veltrane-lut: the display's gamma ramps cannot be reached here: %s.\n%s\n", why.c_str(),
                 lutPlatformText().unreachableAdvice);
    return LUT_EXIT_FAILED;
}

int loadRamps(GammaRampDevice& device, const CalibrationTable* table, const std::string& outputName) {
    const auto holders = selectHolders(device, outputName);
    if (!holders) return LUT_EXIT_FAILED;
    if (holders->empty()) {
        std::fprintf(stderr, "veltrane-lut: the display has no gamma ramp that can be set\n");
        return LUT_EXIT_FAILED;
    }
    bool refused = false;
    for (const RampHolder& holder : *holders) {
        const GammaRamp ramp = table ? rampFromTable(*table, holder.rampSize) : identityRamp(holder.rampSize);
        if (!device.writeRamp(holder.id, ramp)) {
            std::fprintf(stderr, "veltrane-lut: %s: the ramp of %zu entries could not be set\n",
                         holderName(holder).c_str(), holder.rampSize);
            refused = true;
            continue;
        }
        std::printf("%s: %s, %zu entries\n", holderName(holder).c_str(),
                    table ? "loaded this calibration" : "reset to identity", holder.rampSize);
    }
    if (!refused) return 0;
    if (const char* advice = lutPlatformText().refusedAdvice; *advice != '\0') {
        std::fprintf(stderr, "veltrane-lut: %s\n", advice);
    }
    return LUT_EXIT_FAILED;
}

int showRamps(GammaRampDevice& device, const CalibrationTable& table) {
    std::printf("Gamma ramps:\n");
    for (const RampHolder& holder : device.rampHolders()) {
        const auto ramp = device.readRamp(holder.id);
        std::printf("  %s, %zu entries: %s\n", holderName(holder).c_str(), holder.rampSize,
                    ramp ? describeRampContent(classifyRamp(*ramp, table)) : "cannot be read");
    }
    return 0;
}

int profileStoreUnreachable(const std::string& why) {
    const LutPlatformText& text = lutPlatformText();
    std::fprintf(stderr, "veltrane-lut: %s cannot be reached here: %s.\n%s\n", text.profileStoreName, why.c_str(),
                 text.profileStoreAdvice);
    return LUT_EXIT_FAILED;
}

std::optional<std::vector<ProfileDisplay>> chooseProfileDisplays(ProfileStore& store, const std::string& outputName) {
    std::string error;
    if (!outputName.empty()) {
        if (auto display = store.findDisplay(outputName, error)) return std::vector<ProfileDisplay>{*display};
        if (!error.empty()) {
            std::fprintf(stderr, "veltrane-lut: %s\n", error.c_str());
            return std::nullopt;
        }
    }
    auto all = store.displays(error);
    if (!all) {
        std::fprintf(stderr, "veltrane-lut: %s\n", error.c_str());
        return std::nullopt;
    }
    if (!outputName.empty()) {
        std::fprintf(stderr, "veltrane-lut: %s '%s'; the displays are: %s\n", lutPlatformText().noSuchProfileDisplay,
                     outputName.c_str(), knownDisplays(*all).c_str());
        return std::nullopt;
    }
    if (all->empty()) {
        std::fprintf(stderr, "veltrane-lut: %s\n", lutPlatformText().noProfileDisplays);
        return std::nullopt;
    }
    return all;
}

int installProfiles(ProfileStore& store, const CalibrationTable& table, const std::string& description,
                    const std::string& outputName) {
    const auto displays = chooseProfileDisplays(store, outputName);
    if (!displays) return LUT_EXIT_FAILED;
    int status = 0;
    for (const ProfileDisplay& display : *displays) {
        std::string error;
        const auto bytes = displayProfileBytes(table, description, error, display.profileMetadata);
        std::string done;
        if (!bytes || !store.installAsDefault(display, *bytes, done, error)) {
            std::fprintf(stderr, "veltrane-lut: %s: %s\n", display.label.c_str(), error.c_str());
            status = LUT_EXIT_FAILED;
            continue;
        }
        std::printf("%s: %s\n", display.label.c_str(), done.c_str());
    }
    return status;
}

int uninstallProfiles(ProfileStore& store, const std::string& outputName) {
    const auto displays = chooseProfileDisplays(store, outputName);
    if (!displays) return LUT_EXIT_FAILED;
    int status = 0;
    for (const ProfileDisplay& display : *displays) {
        std::string done;
        std::string error;
        if (!store.uninstall(display, done, error)) {
            std::fprintf(stderr, "veltrane-lut: %s: %s\n", display.label.c_str(), error.c_str());
            status = LUT_EXIT_FAILED;
            continue;
        }
        std::printf("%s: %s\n", display.label.c_str(), done.c_str());
    }
    return status;
}

int showProfiles(ProfileStore& store, const CalibrationTable& table) {
    std::string error;
    const auto displays = store.displays(error);
    if (!displays) {
        std::fprintf(stderr, "veltrane-lut: %s\n", error.c_str());
        return LUT_EXIT_FAILED;
    }
    std::printf("Display profiles:\n");
    if (displays->empty()) std::printf("  no display is known to %s\n", lutPlatformText().profileStoreName);
    int status = 0;
    for (const ProfileDisplay& display : *displays) {
        std::optional<DefaultProfile> found;
        if (!store.defaultProfile(display, found, error)) {
            std::printf("  %s: cannot be told: %s\n", display.label.c_str(), error.c_str());
            status = LUT_EXIT_FAILED;
            continue;
        }
        std::printf("  %s: %s\n", display.label.c_str(),
                    found ? describeDefault(*found, table).c_str() : "no default profile");
    }
    return status;
}

}  // namespace veltrane
