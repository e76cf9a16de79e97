// The nine values in the browser's storage, through the same codec as every
// store: texts that count, texts that count as missing with the file
// reader's reasons, storage that is switched off or full.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "calibration/settings_codec.h"
#include "platform/web/web_settings_store.h"

namespace veltrane {
namespace {

class MemoryTextStorage final : public TextStorage {
public:
    bool usable() override { return isUsable; }
    std::optional<std::string> get(std::string_view name) override {
        const auto found = texts.find(std::string(name));
        if (found == texts.end()) return std::nullopt;
        return found->second;
    }
    bool set(std::string_view name, std::string_view text) override {
        if (full) return false;
        texts[std::string(name)] = std::string(text);
        return true;
    }

    std::map<std::string, std::string> texts;
    bool isUsable = true;
    bool full = false;
};

TEST(WebSettingsStore, UsableTextsCountAndTheOthersCountAsMissingWithTheirReason) {
    using namespace std::string_literals;
    MemoryTextStorage storage;
    storage.texts = {
        {"MonRG", "250"},   {"MonGB", "-40"},     {"MonBC", " 120\t"},  // spaces around a value are fine
        {"MonGG", "2.2"},   {"MonBG", "abc"},     {"MonRC", "9\0" "5"s},
        {"MonRB", ""},      {"Unrelated", "x"},
    };
    WebSettingsStore store(storage);
    ColorCalibration calibration;
    calibration.blue.gamma = 3.0;

    loadCalibration(store, calibration);

    ColorCalibration expected;
    expected.red.gamma = 2.5;
    expected.green.brightness = -0.4;
    expected.blue.contrast = 1.2;
    for (const StoredParameter& p : STORED_PARAMETERS) {
        EXPECT_EQ((calibration.*p.channel).*p.field, (expected.*p.channel).*p.field) << p.name;
    }
    const std::vector<std::string> warnings = {
        "localStorage MonGG = `2.2`: values are whole hundredths, such as 220; it counts as 1.00",
        "localStorage MonBG = `abc`: not a whole number; it counts as 1.00",
        "localStorage MonRB = ``: no value; it counts as 1.00",
        "localStorage MonRC = `9\\x005`: not a whole number; it counts as 1.00",
    };
    EXPECT_EQ(store.readWarnings(), warnings);
    EXPECT_TRUE(store.failure().empty());
}

TEST(WebSettingsStore, SavesTheNineAsWholeHundredthsAndReadsThemBack) {
    MemoryTextStorage storage;
    storage.texts["MonGG"] = "2.2";
    WebSettingsStore store(storage);
    ColorCalibration calibration;
    for (int i = 0; i < 10; ++i) calibration.red.contrast -= ADJUST_STEP;
    calibration.blue.brightness = -0.4;

    ASSERT_TRUE(saveCalibration(store, calibration));

    const std::map<std::string, std::string> expected = {
        {"MonRG", "100"}, {"MonGG", "100"}, {"MonBG", "100"}, {"MonRB", "100"}, {"MonGB", "100"},
        {"MonBB", "-40"}, {"MonRC", "90"},  {"MonGC", "100"}, {"MonBC", "100"},
    };
    EXPECT_EQ(storage.texts, expected) << "the unusable text is replaced";
    ColorCalibration reloaded;
    loadCalibration(store, reloaded);
    EXPECT_EQ(reloaded.red.contrast, 0.9);
    EXPECT_EQ(reloaded.blue.brightness, -0.4);
    EXPECT_TRUE(store.readWarnings().empty()) << "warnings are those of the last open";
}

TEST(WebSettingsStore, StorageThatIsOffOrFullLeavesTheValuesAndSaysWhy) {
    MemoryTextStorage storage;
    storage.texts["MonRG"] = "250";
    storage.isUsable = false;
    WebSettingsStore store(storage);
    ColorCalibration calibration;
    calibration.green.gamma = 1.5;

    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.green.gamma, 1.5) << "nothing was read";
    EXPECT_EQ(calibration.red.gamma, 1.0);
    EXPECT_FALSE(saveCalibration(store, calibration));
    EXPECT_EQ(store.failure(), "the browser's storage is switched off for this page");

    storage.isUsable = true;
    storage.full = true;
    EXPECT_FALSE(saveCalibration(store, calibration));
    EXPECT_EQ(store.failure(), "the browser's storage did not keep them (it may be full or switched off)");
    EXPECT_EQ(storage.texts.at("MonRG"), "250");

    storage.full = false;
    EXPECT_TRUE(saveCalibration(store, calibration));
    EXPECT_TRUE(store.failure().empty());
    EXPECT_EQ(storage.texts.at("MonGG"), "150");
}

}  // namespace
}  // namespace veltrane
