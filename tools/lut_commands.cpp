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

}  // namespace veltrane
