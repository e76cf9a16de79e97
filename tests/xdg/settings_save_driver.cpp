// A tiny program that uses the settings file exactly as the Linux program
// does, for the tests that drive it from outside: "start PATH" loads the
// calibration (which clears what an interrupted save left behind); "save PATH"
// loads and saves once, as a run that changed nothing, and says why on
// standard error when the save fails (exit 1); "save-forever PATH" loads,
// raises the red brightness one step and saves, again and again, until it is
// killed.
#include <cstdio>
#include <string>
#include <string_view>

#include "calibration/settings_codec.h"
#include "platform/xdg/settings_file_store.h"

int main(int argc, char** argv) {
    using namespace veltrane;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s start|save|save-forever PATH\n", argv[0]);
        return 2;
    }
    const std::string_view mode = argv[1];
    SettingsFileStore store(argv[2]);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    if (mode == "start") return 0;
    if (mode == "save") {
        if (saveCalibration(store, calibration)) return 0;
        std::fprintf(stderr, "save failed: %s\n", store.failure().c_str());
        return 1;
    }
    if (mode != "save-forever") return 2;
    for (;;) {
        loadCalibration(store, calibration);
        calibration.red.brightness += ADJUST_STEP;
        if (!saveCalibration(store, calibration)) {
            std::fprintf(stderr, "save failed: %s\n", store.failure().c_str());
            return 1;
        }
    }
}
