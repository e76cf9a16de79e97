// The settings file on a real folder: links, permissions, the previous copy,
// leftovers of an interrupted save, things that are not files, and the reasons
// a save fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "calibration/settings_codec.h"
#include "platform/xdg/settings_file_io.h"
#include "platform/xdg/settings_file_store.h"
#include "tests/support/scoped_file_size_limit.h"

namespace fs = std::filesystem;
using namespace veltrane;

namespace {

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : previous_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(previous_); }
    UmaskGuard(const UmaskGuard&) = delete;
    UmaskGuard& operator=(const UmaskGuard&) = delete;

private:
    mode_t previous_;
};

// A store that blocks on a FIFO would hang the whole test run; this ends it.
class Watchdog {
public:
    Watchdog() { alarm(20); }
    ~Watchdog() { alarm(0); }
};

class SettingsFileOnDisk : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/veltrane-settings-store.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        folder = root / "Kardo";
        fs::create_directories(folder);
        path = (folder / "Orlith.conf").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }

    static std::string textOf(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void writeText(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    static std::vector<std::string> namesIn(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static mode_t permissionsOf(const fs::path& file) {
        struct stat info {};
        EXPECT_EQ(stat(file.c_str(), &info), 0) << file;
        return info.st_mode & 07777;
    }
    // Saves all nine values, red gamma as given and the rest 1.0.
    static bool saveRedGamma(SettingsFileStore& store, double redGamma) {
        ColorCalibration calibration;
        calibration.red.gamma = redGamma;
        return saveCalibration(store, calibration);
    }
    static std::int32_t storedRedGamma(const fs::path& file) {
        return parseSettingsText(textOf(file)).values.at("MonRG");
    }

    fs::path root;
    fs::path folder;
    std::string path;
};

TEST_F(SettingsFileOnDisk, SavesThroughAChainOfLinksAndTheLinksStay) {
    // Orlith.conf -> /abs/links/middle -> ../dotfiles/orlith (relative to links/).
    const fs::path real = root / "dotfiles" / "orlith";
    writeText(real, "# kept in git\nMonRG = 250\n");
    fs::create_directories(root / "links");
    fs::create_symlink("../dotfiles/orlith", root / "links" / "middle");
    fs::create_symlink(root / "links" / "middle", path);

    SettingsFileStore store(path);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.gamma, 2.5) << "read through the links";
    ASSERT_TRUE(saveRedGamma(store, 3.0)) << store.failure();

    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(fs::read_symlink(path), root / "links" / "middle");
    EXPECT_EQ(fs::read_symlink(root / "links" / "middle"), "../dotfiles/orlith");
    EXPECT_TRUE(textOf(real).starts_with("# kept in git\nMonRG = 300\n")) << textOf(real);
    // The copy and every temporary file live beside the real file, and only the copy stays.
    EXPECT_EQ(namesIn(root / "dotfiles"), (std::vector<std::string>{"orlith", "orlith.bak"}));
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"Orlith.conf"});
}

TEST_F(SettingsFileOnDisk, ALinkToAMissingFileGetsItsTargetCreated) {
    fs::create_directories(root / "dotfiles");
    fs::create_symlink("../dotfiles/orlith", path);
    SettingsFileStore store(path);
    ASSERT_TRUE(saveRedGamma(store, 1.5)) << store.failure();
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(storedRedGamma(root / "dotfiles" / "orlith"), 150);
}

TEST_F(SettingsFileOnDisk, ALoopOfLinksIsAFailureWithAReason) {
    fs::create_symlink("b", folder / "a");
    fs::create_symlink("a", folder / "b");
    fs::create_symlink("a", path);
    SettingsFileStore store(path);
    EXPECT_FALSE(saveRedGamma(store, 1.5));
    EXPECT_NE(store.failure().find("Too many levels of symbolic links"), std::string::npos) << store.failure();
}

struct PermissionCase {
    std::optional<mode_t> existing;  // the file's bits before the save, or no file
    mode_t umask;
    mode_t expected;
};

class SettingsFilePermissions : public SettingsFileOnDisk, public testing::WithParamInterface<PermissionCase> {};

TEST_P(SettingsFilePermissions, AreKeptOrFollowTheUmask) {
    const PermissionCase& c = GetParam();
    UmaskGuard mask(c.umask);
    if (c.existing) {
        writeText(path, "MonRG = 250\n");
        fs::permissions(path, static_cast<fs::perms>(*c.existing));
    }
    SettingsFileStore store(path);
    ColorCalibration loaded;
    loadCalibration(store, loaded);  // creates the file when it is missing
    EXPECT_EQ(permissionsOf(path), c.expected) << "after loading";
    ASSERT_TRUE(saveRedGamma(store, 2.0)) << store.failure();
    EXPECT_EQ(storedRedGamma(path), 200);
    EXPECT_EQ(permissionsOf(path), c.expected) << "after saving";
    if (c.existing) {
        EXPECT_EQ(permissionsOf(backupFilePath(path)), c.expected) << "the copy";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsFilePermissions,
                         testing::Values(PermissionCase{0600, 022, 0600}, PermissionCase{0640, 077, 0640},
                                         PermissionCase{0664, 077, 0664}, PermissionCase{std::nullopt, 077, 0600},
                                         PermissionCase{std::nullopt, 022, 0644},
                                         PermissionCase{std::nullopt, 0, 0666}));

TEST_F(SettingsFileOnDisk, ThePreviousFileIsKeptOneGenerationDeep) {
    const std::string tuned = "# tuned on the old monitor\nMonRG = 250\n";
    writeText(path, tuned);
    const std::string copy = backupFilePath(path);

    SettingsFileStore store(path);
    ASSERT_TRUE(saveRedGamma(store, 2.5)) << store.failure();
    EXPECT_FALSE(fs::exists(copy)) << "only names were added, no value replaced";
    const std::string completed = textOf(path);

    ASSERT_TRUE(saveRedGamma(store, 1.0)) << store.failure();  // R then Escape
    EXPECT_EQ(textOf(copy), completed);
    EXPECT_EQ(storedRedGamma(path), 100);

    // Saving the same values again touches neither the file nor the copy.
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    writeText(copy, "marker");
    ASSERT_TRUE(saveRedGamma(store, 1.0)) << store.failure();
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced although nothing changed";
    EXPECT_EQ(textOf(copy), "marker");

    // The next change replaces the copy; there is never a second one.
    ASSERT_TRUE(saveRedGamma(store, 1.2)) << store.failure();
    EXPECT_EQ(storedRedGamma(copy), 100);
    EXPECT_EQ(storedRedGamma(path), 120);
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"Orlith.conf", "Orlith.conf.bak"}));
}

TEST_F(SettingsFileOnDisk, EditsMadeWhileTheProgramRanAreKept) {
    writeText(path, "MonRG = 250\n");
    SettingsFileStore store(path);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    writeText(path, "# added while it ran\nMonRG = 250\n");
    ASSERT_TRUE(saveRedGamma(store, 2.5)) << store.failure();
    EXPECT_TRUE(textOf(path).starts_with("# added while it ran\nMonRG = 250\n")) << textOf(path);
}

TEST_F(SettingsFileOnDisk, AtStartOnlyOurStaleTemporaryFileGoesAndTheUsersFilesStay) {
    writeText(path, "MonRG = 250\n");
    writeText(folder / ".Orlith.conf.tmp-Ab12Cd", "MonRG = 1");  // left by a killed save
    const std::vector<std::string> theirs{"Orlith.conf.Backup", "Orlith.conf.240611", "Orlith.conf.old123"};
    for (const auto& name : theirs) writeText(folder / name, "the user's own");

    SettingsFileStore store(path);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.gamma, 2.5);

    std::vector<std::string> expected = theirs;
    expected.push_back("Orlith.conf");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(folder), expected);
    for (const auto& name : theirs) EXPECT_EQ(textOf(folder / name), "the user's own") << name;
}

TEST_F(SettingsFileOnDisk, AWriteProtectedFileStopsTheSaveBeforeItsCopyIsReplaced) {
    // As root too: a file without a write bit is someone's decision.
    writeText(path, "MonRG = 250\n");
    writeText(backupFilePath(path), "MonRG = 170\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    SettingsFileStore store(path);
    EXPECT_FALSE(saveRedGamma(store, 1.0));
    EXPECT_EQ(store.failure(), "cannot write " + path + ": Permission denied (the file is write-protected)");
    EXPECT_EQ(textOf(path), "MonRG = 250\n");
    EXPECT_EQ(permissionsOf(path), 0444u);
    EXPECT_EQ(textOf(backupFilePath(path)), "MonRG = 170\n") << "the older copy was lost";
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"Orlith.conf", "Orlith.conf.bak"}));
}

struct NotAFileCase {
    const char* what;
    void (*make)(const std::string& path);
    const char* kind;
    bool savedInto;  // a FIFO (with a reader) or a device takes the saved text; a folder refuses it
};

class NotARegularFile : public SettingsFileOnDisk, public testing::WithParamInterface<NotAFileCase> {};

TEST_P(NotARegularFile, IsReadAsMissingAndWrittenIntoOrRefusedButNeverReplaced) {
    Watchdog watchdog;
    GetParam().make(path);
    struct stat before {};
    ASSERT_EQ(lstat(path.c_str(), &before), 0);

    SettingsFileStore store(path);
    ColorCalibration calibration;
    calibration.red.gamma = 3.0;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.gamma, 1.0) << "read as a missing file";
    ASSERT_EQ(store.readWarnings().size(), 1u);
    EXPECT_NE(store.readWarnings()[0].find(GetParam().kind), std::string::npos) << store.readWarnings()[0];
    EXPECT_NE(store.readWarnings()[0].find(fs::path(path).parent_path().string()), std::string::npos)
        << "the message names the file: " << store.readWarnings()[0];
    const SettingsFileContents contents = readSettingsFile(path);
    EXPECT_FALSE(contents.readable);
    EXPECT_NE(contents.problem.find(GetParam().kind), std::string::npos) << contents.problem;

    std::optional<std::thread> reader;
    std::string received;
    if (S_ISFIFO(before.st_mode)) reader.emplace([&] { received = textOf(path); });
    const bool saved = saveRedGamma(store, 2.0);
    if (reader) reader->join();
    if (GetParam().savedInto) {
        EXPECT_TRUE(saved) << store.failure();
    } else {
        EXPECT_FALSE(saved);
        EXPECT_EQ(store.failure(), "cannot write " + path + ": it is a folder");
    }
    if (reader) {
        EXPECT_EQ(parseSettingsText(received).values.at("MonRG"), 200) << received;
    }
    struct stat after {};
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"Orlith.conf"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotARegularFile,
    testing::Values(NotAFileCase{"fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
                                 "is a FIFO, not a regular file", true},
                    NotAFileCase{"folder", [](const std::string& p) { fs::create_directory(p); },
                                 "is a folder, not a regular file", false},
                    NotAFileCase{"device", [](const std::string& p) { fs::create_symlink("/dev/null", p); },
                                 "is a character device, not a regular file", true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SettingsFileOnDisk, AFileTooLargeIsNeitherReadNorReplaced) {
    const std::string big(MAX_SETTINGS_FILE_SIZE + 1, '#');
    writeText(path, big);
    SettingsFileStore store(path);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    ASSERT_EQ(store.readWarnings().size(), 1u);
    EXPECT_NE(store.readWarnings()[0].find("more than a settings file can be"), std::string::npos);
    EXPECT_FALSE(saveRedGamma(store, 2.0));
    EXPECT_EQ(textOf(path), big);
    EXPECT_FALSE(readSettingsFile(path).readable);
}

TEST_F(SettingsFileOnDisk, UnusableLinesAreNamedAtStartUpAndKeptAtSave) {
    writeText(path, "\xEF\xBB\xBFMonRB = 120\n# tuned by hand\nMonGG = 2.2\n");
    SettingsFileStore store(path);
    ColorCalibration calibration;
    loadCalibration(store, calibration);
    EXPECT_EQ(calibration.red.brightness, 1.2) << "the line behind the byte-order mark counts";
    EXPECT_EQ(calibration.green.gamma, 1.0);
    EXPECT_EQ(store.readWarnings(),
              std::vector<std::string>{path + ": line 3: `MonGG = 2.2`: values are whole hundredths, such as 220; "
                                              "it is not used"});

    ASSERT_TRUE(saveCalibration(store, calibration)) << store.failure();
    EXPECT_EQ(textOf(path),
              "\xEF\xBB\xBFMonRB = 120\n# tuned by hand\n# Not read (values are whole hundredths, such as 220):\n"
              "# MonGG = 2.2\nMonGG = 100\nMonRG = 100\nMonBG = 100\nMonGB = 100\nMonBB = 100\nMonRC = 100\n"
              "MonGC = 100\nMonBC = 100\n");
    EXPECT_FALSE(fs::exists(backupFilePath(path))) << "no value that was read changed";
}

// Ways a save fails that hold for root as well: the reason names the file.
TEST_F(SettingsFileOnDisk, AFileInTheWayOfTheFolderIsAFailureWithAReason) {
    writeText(root / "blocker", "a file where the settings folder should be");
    SettingsFileStore store((root / "blocker" / "Kardo" / "Orlith.conf").string());
    EXPECT_FALSE(saveRedGamma(store, 2.0));
    EXPECT_EQ(store.failure(), "cannot create the folder " + (root / "blocker" / "Kardo").string() + ": Not a directory");
}

TEST_F(SettingsFileOnDisk, ANameTooLongIsAFailureWithAReason) {
    SettingsFileStore store((folder / std::string(300, 'n')).string());
    EXPECT_FALSE(saveRedGamma(store, 2.0));
    EXPECT_NE(store.failure().find("File name too long"), std::string::npos) << store.failure();
}

TEST_F(SettingsFileOnDisk, AFolderWhereTheCopyGoesStopsTheSaveAndKeepsTheFile) {
    writeText(path, "MonRG = 250\n");
    fs::create_directory(backupFilePath(path));
    SettingsFileStore store(path);
    EXPECT_FALSE(saveRedGamma(store, 1.0));
    EXPECT_EQ(textOf(path), "MonRG = 250\n");
    EXPECT_EQ(store.failure(), "cannot write " + backupFilePath(path) + ": it is a folder");
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"Orlith.conf", "Orlith.conf.bak"}));
}

TEST_F(SettingsFileOnDisk, AFullDiskIsAFailureWithAReasonAndKeepsTheFile) {
    writeText(path, "MonRG = 250\n");
    // A file size limit makes every write beyond a few bytes fail, as a full disk would.
    std::optional<test::ScopedFileSizeLimit> limit(std::in_place, 16);
    ASSERT_TRUE(limit->applied());
    SettingsFileStore store(path);
    const bool saved = saveRedGamma(store, 2.5);
    limit.reset();

    EXPECT_FALSE(saved);
    EXPECT_EQ(store.failure(), "cannot write " + path + ": File too large");
    EXPECT_EQ(textOf(path), "MonRG = 250\n");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"Orlith.conf"});
}

TEST_F(SettingsFileOnDisk, AReadOnlyFolderIsAFailureWithAReason) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder; the other failure tests cover root";
    writeText(path, "MonRG = 250\n");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    SettingsFileStore store(path);
    const bool saved = saveRedGamma(store, 1.0);
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_FALSE(saved);
    EXPECT_NE(store.failure().find("Permission denied"), std::string::npos) << store.failure();
    EXPECT_EQ(textOf(path), "MonRG = 250\n");
}

TEST_F(SettingsFileOnDisk, NoPlaceAtAllIsAFailureWithAReason) {
    SettingsFileStore store("");
    EXPECT_FALSE(saveRedGamma(store, 1.0));
    EXPECT_NE(store.failure().find("neither XDG_CONFIG_HOME nor a home folder"), std::string::npos);
}

}  // namespace
