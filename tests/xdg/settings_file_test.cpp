#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>
#include <string>


#include "calibration/settings_codec.h"
#include "platform/xdg/settings_file_format.h"
#include "platform/xdg/settings_file_store.h"
#include "tests/support/scoped_file_size_limit.h"

namespace fs = std::filesystem;
using namespace veltrane;

namespace {

TEST(SettingsText, SkipsWhatItCannotReadAndKeepsTheRest) {
    using namespace std::string_literals;  // the text holds a zero byte
    const std::string text =
        "# comment = 5\n"
        "MonRG = 250\n"
        "MonGB=-40\r\n"
        "  MonBC\t=\t+120   # trailing comment\n"
        "MonGG = 1.5\n"
        "MonBG = abc\n"
        "MonRB\n"
        "= 50\n"
        "Mon RC = 7\n"
        "MonBB = 99999999999\n"
        "\x00\xff garbage\n"
        "MonGC = 80"s;  // no newline at the end
    const SettingsValues values = parseSettingsText(text).values;
    const SettingsValues expected{{"MonRG", 250}, {"MonGB", -40}, {"MonBC", 120}, {"MonGC", 80}};
    EXPECT_EQ(values, expected);
}

TEST(SettingsText, LaterLineWins) {
    EXPECT_EQ(parseSettingsText("MonRG = 1\nMonRG = 2\n").values.at("MonRG"), 2);
}

TEST(SettingsText, WrittenTextReadsBackInOrder) {
    const std::vector<std::pair<std::string, std::int32_t>> values{
        {"MonRG", 250}, {"MonGG", INT32_MIN}, {"MonBG", INT32_MAX}, {"MonRB", -40}, {"MonGB", 0}};
    const std::string text = formatSettingsText(values);
    const SettingsValues read = parseSettingsText(text).values;
    ASSERT_EQ(read.size(), values.size());
    for (const auto& [name, value] : values) EXPECT_EQ(read.at(name), value) << name;
    // One line per value, in the order written, after the comment.
    EXPECT_NE(text.find("MonRG = 250\nMonGG = -2147483648\nMonBG = 2147483647\nMonRB = -40\nMonGB = 0\n"),
              std::string::npos)
        << text;
}

class SettingsFileStoreTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/veltrane-settings-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        path = (root / "Kardo" / "Orlith.conf").string();
    }
    void TearDown() override { fs::remove_all(root); }

    std::string fileText() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void writeFile(const std::string& text) const {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    fs::path root;
    std::string path;
};

TEST_F(SettingsFileStoreTest, LoadingCreatesAnEmptyFileAndGivesNeutralValues) {
    SettingsFileStore store(path);
    ColorCalibration calibration;
    calibration.red.gamma = 3.0;
    loadCalibration(store, calibration);
    EXPECT_TRUE(fs::is_regular_file(path));
    EXPECT_EQ(fileText(), "");
    EXPECT_EQ(calibration.red.gamma, 1.0);
    EXPECT_EQ(calibration.blue.contrast, 1.0);
}

TEST_F(SettingsFileStoreTest, StoredPercentagesBecomeParametersAndMissingOnesOne) {
    writeFile("MonRG = 250\nMonGB = -40\nMonBC = nonsense\n");
    SettingsFileStore store(path);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.gamma, 2.5);
    EXPECT_EQ(calibration.green.brightness, -0.4);
    EXPECT_EQ(calibration.blue.contrast, 1.0);
    EXPECT_EQ(calibration.green.gamma, 1.0);
}

TEST_F(SettingsFileStoreTest, SavingReplacesTheFileWithNineRoundedValuesAndNoLeftovers) {
    writeFile("MonRG = 250\nsomething = else\n");
    ColorCalibration calibration;
    for (int i = 0; i < 10; ++i) calibration.red.brightness -= ADJUST_STEP;  // 0.8999999999999999
    for (int i = 0; i < 10; ++i) calibration.blue.gamma += ADJUST_STEP;      // 1.1000000000000001
    calibration.green.contrast = -0.4;
    SettingsFileStore store(path);
    ASSERT_TRUE(saveCalibration(store, calibration));

    const SettingsValues saved = parseSettingsText(fileText()).values;
    const SettingsValues expected{{"MonRG", 100}, {"MonGG", 100}, {"MonBG", 110},
                                  {"MonRB", 90},  {"MonGB", 100}, {"MonBB", 100},
                                  {"MonRC", 100}, {"MonGC", -40}, {"MonBC", 100}};
    EXPECT_EQ(saved, expected);
    // The line it could not use stays, as a comment.
    EXPECT_NE(fileText().find("# something = else\n"), std::string::npos) << fileText();
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path())) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"Orlith.conf", "Orlith.conf.bak"}));

    // The next run starts from what was saved.
    ColorCalibration next;
    SettingsFileStore again(path);
    loadCalibration(again, next);
    EXPECT_EQ(next.red.brightness, 0.9);
    EXPECT_EQ(next.blue.gamma, 1.1);
    EXPECT_EQ(next.green.contrast, -0.4);
}

TEST_F(SettingsFileStoreTest, AFolderThatCannotBeMadeFailsOpenAndSave) {
    std::ofstream(root / "file") << "in the way";
    const std::string blocked = (root / "file" / "Kardo" / "Orlith.conf").string();
    SettingsFileStore store(blocked);
    ColorCalibration calibration;
    calibration.red.gamma = 2.0;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.gamma, 2.0) << "a store that cannot open leaves the values";
    EXPECT_FALSE(saveCalibration(store, calibration));
}

TEST_F(SettingsFileStoreTest, AFullDiskKeepsTheOldFileWhole) {
    writeFile("MonRG = 250\n");
    // A file size limit makes every write beyond a few bytes fail, as a full disk would.
    std::optional<test::ScopedFileSizeLimit> limit(std::in_place, 16);
    ASSERT_TRUE(limit->applied());

    SettingsFileStore store(path);
    ColorCalibration calibration;
    const bool saved = saveCalibration(store, calibration);

    limit.reset();
    EXPECT_FALSE(saved);
    EXPECT_EQ(fileText(), "MonRG = 250\n");
    // The copy of the previous file fitted; the new file did not.
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(root / "Kardo")) files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"Orlith.conf", "Orlith.conf.bak"})) << "temporary file left behind";
}

struct PathCase {
    const char* configHome;  // null: unset
    const char* home;
    const char* expected;    // null: no path
};

class SettingsPath : public testing::TestWithParam<PathCase> {
protected:
    static void set(const char* name, const char* value) {
        if (value == nullptr) {
            unsetenv(name);
        } else {
            setenv(name, value, 1);
        }
    }
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) set(name.c_str(), value ? value->c_str() : nullptr);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_P(SettingsPath, FollowsXdgConfigHomeThenHome) {
    set("XDG_CONFIG_HOME", GetParam().configHome);
    set("HOME", GetParam().home);
    const auto path = defaultSettingsFilePath();
    if (GetParam().expected == nullptr) {
        // Without HOME the password database decides; it must still end in the right place.
        ASSERT_TRUE(!path || path->ends_with("/.config/Kardo/Orlith.conf"));
    } else {
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(*path, GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPath,
    testing::Values(PathCase{"/x/cfg", "/home/u", "/x/cfg/Kardo/Orlith.conf"},
                    PathCase{nullptr, "/home/u", "/home/u/.config/Kardo/Orlith.conf"},
                    PathCase{"", "/home/u", "/home/u/.config/Kardo/Orlith.conf"},
                    PathCase{"relative/cfg", "/home/u", "/home/u/.config/Kardo/Orlith.conf"},
                    PathCase{nullptr, nullptr, nullptr}));

}  // namespace
