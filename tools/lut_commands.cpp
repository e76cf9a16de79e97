#include "tools/lut_commands.h"

#include <cstdio>
#include <filesystem>
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

}  // namespace

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

}  // namespace veltrane
