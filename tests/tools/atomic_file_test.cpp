#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "tools/atomic_file.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltrane-atomic-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string contents(const fs::path& path) const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(folder)) all.push_back(entry.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    }

    fs::path folder;
};

TEST_F(AtomicFile, WritesNewAndReplacesOldWithReadableMode) {
    const fs::path target = folder / "out.icc";
    std::string error;
    ASSERT_TRUE(writeFileAtomically(target.string(), std::string("first\0bytes", 11), error)) << error;
    EXPECT_EQ(contents(target), std::string("first\0bytes", 11));
    ASSERT_TRUE(writeFileAtomically(target.string(), "second", error)) << error;
    EXPECT_EQ(contents(target), "second");
    EXPECT_EQ(names(), std::vector<std::string>{"out.icc"});  // no temporary file left

    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
}

TEST_F(AtomicFile, FailuresSayWhyAndLeaveNothing) {
    fs::create_directory(folder / "a-folder");
    struct Case {
        fs::path path;
        const char* reason;
    };
    for (const Case& c : {Case{folder / "missing" / "out.cal", "No such file or directory"},
                          Case{folder / "a-folder", "Is a directory"},
                          Case{folder / "a-folder" / "", "not a file name"}}) {
        std::string error;
        EXPECT_FALSE(writeFileAtomically(c.path.string(), "bytes", error)) << c.path;
        EXPECT_NE(error.find(c.path.string()), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    EXPECT_EQ(names(), std::vector<std::string>{"a-folder"});
    EXPECT_TRUE(fs::is_empty(folder / "a-folder"));
}

}  // namespace
}  // namespace veltrane
