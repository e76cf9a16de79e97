// The batch of files on Windows, on a real folder: the old files stand until
// commit(), which puts each new one in place (over a file, ReplaceFileW; a
// new one, MoveFileExW) with no hidden temporary file left; a batch never
// committed changes nothing; a refused file and a commit that cannot place
// one file leave the ones before it placed and no more. writeFile, the batch of one, on the same folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_writing.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Hidden names included: the temporary files are hidden.
std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(folder)) all.push_back(entry.path().filename().string());
    std::sort(all.begin(), all.end());
    return all;
}

class FileBatchOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("veltrane-file-batch-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string at(const char* name) const { return (folder / name).string(); }

    fs::path folder;
};

TEST_F(FileBatchOnWindows, ReplacesItsFilesOnlyWhenCommitted) {
    writeBytes(folder / "page-00.png", "old 0");
    std::string error;
    FileBatch batch;
    ASSERT_TRUE(batch.add(at("page-00.png"), "new 0", error)) << error;
    ASSERT_TRUE(batch.add(at("page-01.png"), "new 1", error)) << error;
    const std::vector<std::string> waiting = names(folder);
    ASSERT_EQ(waiting.size(), 3u);
    EXPECT_EQ(contents(folder / "page-00.png"), "old 0");
    const std::string temporary = waiting[0] == "page-00.png" ? waiting[1] : waiting[0];
    EXPECT_TRUE(isTemporaryFileName(temporary, "page-00.png") || isTemporaryFileName(temporary, "page-01.png"))
        << temporary;

    ASSERT_TRUE(batch.commit(error)) << error;
    EXPECT_EQ(contents(folder / "page-00.png"), "new 0");
    EXPECT_EQ(contents(folder / "page-01.png"), "new 1");
    EXPECT_EQ(names(folder), (std::vector<std::string>{"page-00.png", "page-01.png"}));
    const DWORD attributes = GetFileAttributesW((folder / "page-01.png").wstring().c_str());
    EXPECT_EQ(attributes & FILE_ATTRIBUTE_HIDDEN, 0u) << "the temporary file's hidden mark stays behind";

    ASSERT_TRUE(writeFile(at("page-01.png"), "newer 1", error)) << error;
    EXPECT_EQ(contents(folder / "page-01.png"), "newer 1");
    EXPECT_EQ(names(folder), (std::vector<std::string>{"page-00.png", "page-01.png"}));
}

TEST_F(FileBatchOnWindows, NeverCommittedChangesNothing) {
    writeBytes(folder / "page-00.png", "old 0");
    {
        FileBatch batch;
        std::string error;
        ASSERT_TRUE(batch.add(at("page-00.png"), "new 0", error)) << error;
        ASSERT_TRUE(batch.add(at("page-01.png"), "new 1", error)) << error;
    }
    EXPECT_EQ(names(folder), std::vector<std::string>{"page-00.png"});
    EXPECT_EQ(contents(folder / "page-00.png"), "old 0");
}

TEST_F(FileBatchOnWindows, RefusesAFolderAndPlacesTheFilesBefore) {
    fs::create_directory(folder / "page-01.png");
    FileBatch batch;
    std::string error;
    ASSERT_TRUE(batch.add(at("page-00.png"), "new 0", error)) << error;
    EXPECT_FALSE(batch.add(at("page-01.png"), "new 1", error));
    EXPECT_EQ(error, "cannot write " + at("page-01.png") + ": it is a folder");
    ASSERT_TRUE(batch.commit(error)) << error;
    EXPECT_EQ(contents(folder / "page-00.png"), "new 0");
    EXPECT_EQ(names(folder), (std::vector<std::string>{"page-00.png", "page-01.png"}));
}

// A file another program holds open, without letting it be deleted, cannot
// be replaced; the batch places the files before it and no more.
TEST_F(FileBatchOnWindows, ACommitThatFailsPartWayPlacesTheFilesBeforeAndNoMore) {
    for (const char* name : {"a", "b", "c"}) writeBytes(folder / name, std::string("old ") + name);
    FileBatch batch;
    std::string error;
    for (const char* name : {"a", "b", "c"}) {
        ASSERT_TRUE(batch.add(at(name), std::string("new ") + name, error)) << error;
    }
    const HANDLE held = CreateFileW((folder / "b").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const bool committed = batch.commit(error);
    CloseHandle(held);
    EXPECT_FALSE(committed);
    EXPECT_EQ(error.rfind("cannot write " + at("b") + ": ", 0), 0u) << error;
    EXPECT_EQ(contents(folder / "a"), "new a");
    EXPECT_EQ(contents(folder / "b"), "old b");
    EXPECT_EQ(contents(folder / "c"), "old c");
    // Wine's ReplaceFileW leaves a file of its own (rfXXXX.tmp) after this
    // failure; ours must all be gone.
    for (const std::string& name : names(folder)) {
        for (const char* target : {"a", "b", "c"}) EXPECT_FALSE(isTemporaryFileName(name, target)) << name;
    }
}

}  // namespace
}  // namespace veltrane
