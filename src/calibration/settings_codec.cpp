#include "calibration/settings_codec.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace veltrane {

const std::array<StoredParameter, 9> STORED_PARAMETERS = {{
    {"MonRG", &ChannelCalibration::gamma, &ColorCalibration::red},
    {"MonGG", &ChannelCalibration::gamma, &ColorCalibration::green},
    {"MonBG", &ChannelCalibration::gamma, &ColorCalibration::blue},
    {"MonRB", &ChannelCalibration::brightness, &ColorCalibration::red},
    {"MonGB", &ChannelCalibration::brightness, &ColorCalibration::green},
    {"MonBB", &ChannelCalibration::brightness, &ColorCalibration::blue},
    {"MonRC", &ChannelCalibration::contrast, &ColorCalibration::red},
    {"MonGC", &ChannelCalibration::contrast, &ColorCalibration::green},
    {"MonBC", &ChannelCalibration::contrast, &ColorCalibration::blue},
}};

double percentToParameter(std::int32_t percent) { return percent / 100.0; }

std::int32_t parameterToPercent(double parameter) {
    if (std::isnan(parameter)) return 0;
    const double percent = std::round(parameter * 100.0);
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    if (percent <= lowest) return lowest;
    if (percent >= highest) return highest;
    return static_cast<std::int32_t>(percent);
}

void loadCalibration(SettingsStore& store, ColorCalibration& calibration) {
    if (!store.open()) return;
    std::array<std::int32_t, STORED_PARAMETERS.size()> percents{};
    for (std::size_t i = 0; i < STORED_PARAMETERS.size(); ++i) {
        percents[i] = store.read(STORED_PARAMETERS[i].name).value_or(MISSING_VALUE_PERCENT);
    }
    store.close();
    for (std::size_t i = 0; i < STORED_PARAMETERS.size(); ++i) {
        const StoredParameter& p = STORED_PARAMETERS[i];
        (calibration.*p.channel).*p.field = percentToParameter(percents[i]);
    }
}

bool saveCalibration(SettingsStore& store, const ColorCalibration& calibration) {
    if (!store.open()) return false;
    for (const StoredParameter& p : STORED_PARAMETERS) {
        store.write(p.name, parameterToPercent((calibration.*p.channel).*p.field));
    }
    return store.close();
}

std::array<std::string, 3> settingsFailureMessages(const ColorCalibration& calibration) {
    const auto line = [](const char* label, const ChannelCalibration& c) {
        // 256 bytes as the message has always had; a longer text is cut, never overrun.
        char buffer[256];
        std::snprintf(buffer, sizeof buffer, "%s: B=%lf, C=%lf, G=%lf", label, c.brightness,
                      c.contrast, c.gamma);
        return std::string(buffer);
    };
    return {line("Red", calibration.red), line("Green", calibration.green),
            line("Blue", calibration.blue)};
}

}  // namespace veltrane
