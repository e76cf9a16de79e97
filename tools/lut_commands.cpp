#include "tools/lut_commands.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/file_writing.h"
#include "platform/lcms/calibration_exports.h"
#include "platform/xdg/settings_file_store.h"

namespace veltrane {
namespace {

std::string holderName(const RampHolder& holder) {
    std::string name = holder.label + " (";
    if (holder.outputs.empty()) name += "no output";
    for (std::size_t i = 0; i < holder.outputs.size(); ++i) name += (i ? ", " : "") + holder.outputs[i];
    return name + ")";
}

// The ramp holders to change: all, or those driving output `name`.
std::optional<std::vector<RampHolder>> selectHolders(GammaRampDevice& device, const std::string& name) {
    std::vector<RampHolder> all = device.rampHolders();
    if (name.empty()) return all;
    std::vector<RampHolder> chosen;
    std::string known;
    for (const RampHolder& holder : all) {
        for (const std::string& output : holder.outputs) {
            if (output == name) chosen.push_back(holder);
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

// A stored file that cannot even be looked at (a folder on the way the user
// may not enter) is there for all we know: reading it then says why.
bool storedFileIsThere(const std::string& path) {
    std::error_code error;
    const bool there = std::filesystem::exists(path, error);
    return there || (error && error != std::errc::no_such_file_or_directory);
}

}  // namespace

std::optional<ChosenValues> chooseValues(const CalibrationOptions& options) {
    std::optional<std::string> file = options.settingsFile();
    std::string source;
    if (file) {
        source = "the settings file " + *file;
    } else if (auto stored = defaultSettingsFilePath(); stored && storedFileIsThere(*stored)) {
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
    std::fprintf(stderr,
                 "veltrane-lut: the display's gamma ramps cannot be reached here: %s.\n"
                 "Write a profile instead with 'veltrane-lut icc FILE.icc' and load it in the desktop's "
                 "colour settings (GNOME or KDE: Settings, Colour; or colormgr).\n",
                 why.c_str());
    return LUT_EXIT_FAILED;
}

int loadRamps(GammaRampDevice& device, const CalibrationTable* table, const std::string& outputName) {
    const auto holders = selectHolders(device, outputName);
    if (!holders) return LUT_EXIT_FAILED;
    if (holders->empty()) {
        std::fprintf(stderr, "veltrane-lut: the display has no gamma ramp that can be set\n");
        return LUT_EXIT_FAILED;
    }
    int status = 0;
    for (const RampHolder& holder : *holders) {
        const GammaRamp ramp = table ? rampFromTable(*table, holder.rampSize) : identityRamp(holder.rampSize);
        if (!device.writeRamp(holder.id, ramp)) {
            std::fprintf(stderr, "veltrane-lut: %s: the ramp of %zu entries could not be set\n",
                         holderName(holder).c_str(), holder.rampSize);
            status = LUT_EXIT_FAILED;
            continue;
        }
        std::printf("%s: %s, %zu entries\n", holderName(holder).c_str(),
                    table ? "loaded this calibration" : "reset to identity", holder.rampSize);
    }
    return status;
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
    std::fprintf(stderr,
                 "veltrane-lut: the desktop's colour settings cannot be reached here: %s.\n"
                 "Write a profile instead with 'veltrane-lut icc FILE.icc' and add it in the desktop's colour "
                 "settings (GNOME: Settings, Colour; KDE: System Settings, Colour Management).\n",
                 why.c_str());
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
        std::fprintf(stderr, "veltrane-lut: no display device is known for output '%s'; the displays are: %s\n",
                     outputName.c_str(), knownDisplays(*all).c_str());
        return std::nullopt;
    }
    if (all->empty()) {
        std::fprintf(stderr,
                     "veltrane-lut: no display is known to the desktop's colour settings (the desktop registers "
                     "its displays when the session starts)\n");
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
    if (displays->empty()) std::printf("  no display is known to the desktop's colour settings\n");
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
