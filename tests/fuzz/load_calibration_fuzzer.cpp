// Loads the calibration from a store holding arbitrary values (any signed
// 32-bit number, any subset of the nine names, names of other things), then
// uses it as the program does: every level corrected, the failure texts
// formatted, the values saved back. A stored value must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "calibration/color_calibration.h"
#include "calibration/settings_codec.h"
#include "tests/support/memory_settings_store.h"

namespace {

using namespace veltrane;

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "load_calibration_fuzzer: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Five bytes per name: whether it is stored, then its value.
    MemorySettingsStore store;
    std::size_t at = 0;
    for (const StoredParameter& p : STORED_PARAMETERS) {
        if (at + 5 > size) break;
        std::int32_t value = 0;
        std::memcpy(&value, data + at + 1, sizeof value);
        if (data[at] & 1) store.values[std::string(p.name)] = value;
        if (data[at] & 2) store.values[std::string(p.name) + "x"] = value;  // a name nobody reads
        at += 5;
    }
    store.failOpen = at < size && (data[at] & 1) != 0;

    ColorCalibration calibration;
    calibration.red.gamma = 7.0;  // kept only when the store cannot be opened
    loadCalibration(store, calibration);
    for (const StoredParameter& p : STORED_PARAMETERS) {
        const double parameter = (calibration.*p.channel).*p.field;
        const auto stored = store.values.find(p.name);
        if (store.failOpen) {
            require(parameter == (p.name == "MonRG" ? 7.0 : 1.0), "a store that failed changed a value");
        } else {
            const std::int32_t expected = stored == store.values.end() ? MISSING_VALUE_PERCENT : stored->second;
            require(parameter == percentToParameter(expected), "a stored value was not loaded");
            require(parameterToPercent(parameter) == expected, "a loaded value would not save back unchanged");
        }
    }

    for (int level = 0; level <= 255; ++level) {
        const double intensity = level / 255.0;
        const std::uint32_t color = correctedColor(calibration, intensity, intensity, intensity);
        require(color <= 0xFFFFFFu, "a colour beyond 24 bits");
    }
    for (const std::string& message : settingsFailureMessages(calibration)) {
        require(message.size() < 256 && message.find(": B=") != std::string::npos, "a malformed failure text");
    }

    MemorySettingsStore saved;
    require(saveCalibration(saved, calibration), "saving into memory failed");
    require(saved.values.size() == STORED_PARAMETERS.size(), "not nine values saved");
    return 0;
}
