// writeFile on a real folder: what each kind of thing at the name gets, the
// exact sentence of each refusal with nothing changed, pipes and FIFOs, kept
// permissions and owners, and the clean-up of our temporary files; and the
// batch of files placed together. The same
// rule is checked for every program from outside by
// tests/tools/test_file_writers.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/file_writing.h"
#include "tests/support/scoped_file_size_limit.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

constexpr uid_t NOBODY = 65534;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct Entry {
    mode_t mode = 0;  // type and permission bits
    uid_t owner = 0;
    std::string what;  // a file's bytes, a link's text
    bool operator==(const Entry&) const = default;
};

// Every name below `folder` with its type, bits, owner and content, to show
// that a refused write changed nothing at all.
void addSnapshot(const std::string& prefix, const fs::path& folder, std::map<std::string, Entry>& all) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0) continue;
        Entry e{info.st_mode, info.st_uid, {}};
        if (S_ISREG(info.st_mode)) e.what = contents(entry.path());
        if (S_ISLNK(info.st_mode)) e.what = fs::read_symlink(entry.path()).string();
        const std::string name = prefix + entry.path().filename().string();
        all[name] = e;
        if (S_ISDIR(info.st_mode)) addSnapshot(name + "/", entry.path(), all);
    }
}

std::map<std::string, Entry> snapshot(const fs::path& folder) {
    std::map<std::string, Entry> all;
    addSnapshot("", folder, all);
    return all;
}

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> all;
    for (const auto& entry : fs::directory_iterator(folder)) all.push_back(entry.path().filename().string());
    std::sort(all.begin(), all.end());
    return all;
}

mode_t permissionBits(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A writer that blocks for ever on a FIFO would hang the whole run; this ends it.
class Watchdog {
public:
    Watchdog() { ::alarm(30); }
    ~Watchdog() { ::alarm(0); }
};

class FileWriting : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltrane-file-writing-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
};

TEST_F(FileWriting, WritesANewFileAndReplacesItWithNothingLeftBeside) {
    const fs::path target = folder / "out.icc";
    std::string error;
    ASSERT_TRUE(writeFile(target.string(), std::string("first\0bytes", 11), error)) << error;
    EXPECT_EQ(contents(target), std::string("first\0bytes", 11));
    EXPECT_EQ(permissionBits(target), 0666 & ~currentUmask());
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    ASSERT_TRUE(writeFile(target.string(), "second", error)) << error;
    EXPECT_EQ(contents(target), "second");
    EXPECT_EQ(permissionBits(target), 0604u) << "a replaced file keeps its bits";
    EXPECT_EQ(names(folder), std::vector<std::string>{"out.icc"});
}

TEST_F(FileWriting, ACopyTakesTheBitsOfTheFileItIsLike) {
    const fs::path model = folder / "Orlith.conf";
    writeBytes(model, "MonRG = 250\n");
    ASSERT_EQ(::chmod(model.c_str(), 0640), 0);
    const fs::path copy = folder / "Orlith.conf.bak";
    std::string error;
    for (const char* round : {"new", "replaced"}) {
        if (fs::exists(copy)) {
            ASSERT_EQ(::chmod(copy.c_str(), 0666), 0);
        }
        ASSERT_TRUE(writeFile(copy.string(), "MonRG = 250\n", error, {.accessLike = model.string()})) << error;
        EXPECT_EQ(permissionBits(copy), 0640u) << round;
    }
    EXPECT_FALSE(writeFile(copy.string(), "x", error, {.accessLike = (folder / "gone").string()}));
    EXPECT_EQ(error, "cannot write " + copy.string() + ": cannot read the permissions of " + (folder / "gone").string() +
                         ": No such file or directory");
    EXPECT_EQ(contents(copy), "MonRG = 250\n");
}

TEST_F(FileWriting, WritesTheFileAtTheEndOfTheLinksAndTheLinksStay) {
    // out -> links/middle (absolute) -> ../real/target (relative to links/)
    fs::create_directories(folder / "real");
    fs::create_directories(folder / "links");
    writeBytes(folder / "real" / "target", "old");
    ASSERT_EQ(::chmod((folder / "real" / "target").c_str(), 0600), 0);
    fs::create_symlink("../real/target", folder / "links" / "middle");
    fs::create_symlink(folder / "links" / "middle", folder / "out");
    std::string error;
    ASSERT_TRUE(writeFile((folder / "out").string(), "new", error)) << error;
    EXPECT_EQ(contents(folder / "real" / "target"), "new");
    EXPECT_EQ(permissionBits(folder / "real" / "target"), 0600u);
    EXPECT_EQ(fs::read_symlink(folder / "out"), folder / "links" / "middle");
    EXPECT_EQ(fs::read_symlink(folder / "links" / "middle"), "../real/target");
    EXPECT_EQ(names(folder / "real"), std::vector<std::string>{"target"});

    // A link to nothing creates the file it names.
    fs::create_symlink("real/made", folder / "dangling");
    ASSERT_TRUE(writeFile((folder / "dangling").string(), "made", error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder / "dangling"));
    EXPECT_EQ(contents(folder / "real" / "made"), "made");
}

struct RefusalCase {
    const char* what;
    // Makes what stands at the name; returns the path to write.
    std::function<std::string(const fs::path& folder)> make;
    // The whole error, with FOLDER for the test's folder.
    const char* error;
    bool needsRoot = false;
};

class Refusal : public FileWriting, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, SaysWhyInOneSentenceAndChangesNothing) {
    const RefusalCase& c = GetParam();
    if (c.needsRoot && ::geteuid() != 0) GTEST_SKIP() << "only root can make this (mknod)";
    writeBytes(folder / "bystander", "kept");
    const std::string path = c.make(folder);
    const auto before = snapshot(folder);
    std::string error;
    EXPECT_FALSE(writeFile(path, "new bytes", error));
    std::string expected = c.error;
    for (std::size_t at; (at = expected.find("FOLDER")) != std::string::npos;) expected.replace(at, 6, folder.string());
    EXPECT_EQ(error, expected);
    EXPECT_EQ(snapshot(folder), before);

    // A batch refuses the same file with the same sentence, and the files
    // added before it still go in place.
    std::string batchError;
    {
        FileBatch batch;
        ASSERT_TRUE(batch.add((folder / "before").string(), "placed", batchError)) << batchError;
        EXPECT_FALSE(batch.add(path, "new bytes", batchError));
        EXPECT_EQ(batchError, expected);
        std::string commitError;
        EXPECT_TRUE(batch.commit(commitError)) << commitError;
    }
    auto placed = snapshot(folder);
    ASSERT_EQ(placed.count("before"), 1u);
    EXPECT_EQ(placed["before"].what, "placed");
    placed.erase("before");
    EXPECT_EQ(placed, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusal,
    ::testing::Values(
        RefusalCase{"WriteProtectedFile",
                    [](const fs::path& f) {
                        writeBytes(f / "locked.cal", "old");
                        ::chmod((f / "locked.cal").c_str(), 0444);
                        return (f / "locked.cal").string();
                    },
                    "cannot write FOLDER/locked.cal: Permission denied (the file is write-protected)"},
        RefusalCase{"LinkToAWriteProtectedFile",
                    [](const fs::path& f) {
                        writeBytes(f / "real.icc", "old");
                        ::chmod((f / "real.icc").c_str(), 0400);
                        fs::create_symlink("real.icc", f / "link.icc");
                        return (f / "link.icc").string();
                    },
                    "cannot write FOLDER/link.icc (a link to FOLDER/real.icc): Permission denied (the file is "
                    "write-protected)"},
        RefusalCase{"Folder",
                    [](const fs::path& f) {
                        fs::create_directory(f / "page.png");
                        writeBytes(f / "page.png" / "inside", "kept");
                        return (f / "page.png").string();
                    },
                    "cannot write FOLDER/page.png: it is a folder"},
        RefusalCase{"FolderWithASlash",
                    [](const fs::path& f) {
                        fs::create_directory(f / "pages");
                        return (f / "pages").string() + "/";
                    },
                    "cannot write 'FOLDER/pages/': not a file name"},
        RefusalCase{"Socket",
                    [](const fs::path& f) {
                        const std::string path = (f / "socket").string();
                        sockaddr_un address{};
                        address.sun_family = AF_UNIX;
                        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
                        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
                        ::close(fd);
                        return path;
                    },
                    "cannot write FOLDER/socket: it is a socket"},
        RefusalCase{"BlockDevice",
                    [](const fs::path& f) {
                        ::mknod((f / "disk").c_str(), S_IFBLK | 0660, makedev(7, 200));
                        return (f / "disk").string();
                    },
                    "cannot write FOLDER/disk: it is a block device", true},
        RefusalCase{"LoopOfLinks",
                    [](const fs::path& f) {
                        fs::create_symlink("b", f / "a");
                        fs::create_symlink("a", f / "b");
                        return (f / "a").string();
                    },
                    "cannot write FOLDER/a: Too many levels of symbolic links"},
        RefusalCase{"MissingFolder", [](const fs::path& f) { return (f / "missing" / "out.cal").string(); },
                    "cannot write FOLDER/missing/out.cal: cannot create a file in the folder FOLDER/missing: No "
                    "such file or directory"},
        RefusalCase{"LinkIntoAMissingFolder",
                    [](const fs::path& f) {
                        fs::create_symlink("missing/out.cal", f / "out.cal");
                        return (f / "out.cal").string();
                    },
                    "cannot write FOLDER/out.cal (a link to FOLDER/missing/out.cal): cannot create a file in the "
                    "folder FOLDER/missing: No such file or directory"},
        RefusalCase{"FileWhereAFolderShouldBe", [](const fs::path& f) { return (f / "bystander" / "x").string(); },
                    "cannot write FOLDER/bystander/x: Not a directory"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(FileWriting, AWriteThatFailsHalfWayLeavesTheOldFileWholeAndNothingBeside) {
    const fs::path target = folder / "out.cal";
    writeBytes(target, "old");
    std::string error;
    bool written = true;
    {
        // As a full disk would: writes past 16 bytes fail.
        const test::ScopedFileSizeLimit limit(16);
        ASSERT_TRUE(limit.applied());
        written = writeFile(target.string(), std::string(1000, 'x'), error);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + target.string() + ": File too large");
    EXPECT_EQ(contents(target), "old");
    EXPECT_EQ(names(folder), std::vector<std::string>{"out.cal"});
}

TEST_F(FileWriting, RootKeepsTheOwnerAndBitsOfAFileItReplaces) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    const fs::path target = folder / "theirs.icc";
    writeBytes(target, "old");
    ASSERT_EQ(::chown(target.c_str(), NOBODY, NOBODY), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    std::string error;
    ASSERT_TRUE(writeFile(target.string(), "new", error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, NOBODY);
    EXPECT_EQ(info.st_gid, NOBODY);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(FileWriting, ALongNameStillGetsATemporaryFileBesideIt) {
    const std::string name(250, 'n');
    std::string error;
    ASSERT_TRUE(writeFile((folder / name).string(), "bytes", error)) << error;
    EXPECT_EQ(names(folder), std::vector<std::string>{name});
    // Its temporary name keeps only the start of a name that long.
    EXPECT_TRUE(isTemporaryFileName("." + std::string(200, 'n') + ".tmp-Ab12Cd", name));
}

// --- pipes, FIFOs and devices -------------------------------------------------

TEST_F(FileWriting, AFifoWithAReaderGetsTheBytesAndStaysAFifo) {
    Watchdog watchdog;
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string bytes(300000, 'b');  // more than a pipe holds at once
    std::string received;
    std::thread reader([&] { received = contents(fifo); });
    std::string error;
    const bool written = writeFile(fifo.string(), bytes, error);
    reader.join();
    EXPECT_TRUE(written) << error;
    EXPECT_EQ(received, bytes);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(names(folder), std::vector<std::string>{"pipe"});
}

TEST_F(FileWriting, AFifoNobodyReadsIsAFailureAfterAShortWait) {
    Watchdog watchdog;
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(writeFile(fifo.string(), "bytes", error));
    EXPECT_EQ(error, "cannot write " + fifo.string() + ": no program opened the FIFO for reading within " +
                         std::to_string(FIFO_READER_WAIT_SECONDS) + " seconds");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(names(folder), std::vector<std::string>{"pipe"});
}

TEST_F(FileWriting, AReaderThatGoesAwayIsABrokenPipeNotTheEndOfTheProgram) {
    Watchdog watchdog;
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);  // returns once the writer is there
        ::close(fd);
    });
    std::string error;
    // Far more than the pipe holds, so the writer is still writing when the reader has gone.
    const bool written = writeFile(fifo.string(), std::string(4 << 20, 'b'), error);
    reader.join();
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + fifo.string() + ": Broken pipe");
    // No SIGPIPE waits to be delivered later, and the signal mask is as it was.
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
}

TEST_F(FileWriting, ThePipeBehindDevFdIsWrittenIntoNotReplaced) {
    // What "veltrane-lut cal /dev/stdout | ..." asks for: /dev/fd/N leads,
    // through /proc's links, to a pipe that has no name to replace.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string path = "/dev/fd/" + std::to_string(ends[1]);
    std::string error;
    const bool written = writeFile(path, "through the pipe", error);
    ::close(ends[1]);
    char buffer[64] = {};
    const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
    ::close(ends[0]);
    EXPECT_TRUE(written) << error;
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "through the pipe");
}

TEST_F(FileWriting, ACharacterDeviceIsWrittenIntoAndStaysADevice) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a device (mknod); /dev/null is tried instead";
    const fs::path device = folder / "null";
    ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    const auto before = snapshot(folder);
    std::string error;
    EXPECT_TRUE(writeFile(device.string(), "into the device", error)) << error;
    EXPECT_EQ(snapshot(folder), before);
}

TEST_F(FileWriting, DevNullIsWrittenIntoAndStaysADevice) {
    struct stat before {};
    ASSERT_EQ(::stat("/dev/null", &before), 0);
    std::string error;
    EXPECT_TRUE(writeFile("/dev/null", "into the device", error)) << error;
    struct stat after {};
    ASSERT_EQ(::stat("/dev/null", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_rdev, before.st_rdev);
}

TEST_F(FileWriting, StandardOutputIsKnownWhateverItIsCalled) {
    EXPECT_TRUE(isStandardOutput("/dev/stdout"));
    EXPECT_TRUE(isStandardOutput("/proc/self/fd/1"));
    writeBytes(folder / "file", "x");
    EXPECT_FALSE(isStandardOutput((folder / "file").string()));
    EXPECT_FALSE(isStandardOutput((folder / "missing").string()));
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_FALSE(isStandardOutput("/dev/fd/" + std::to_string(ends[1])));
    ::close(ends[0]);
    ::close(ends[1]);
}

// --- temporary files ----------------------------------------------------------

TEST(TemporaryFileName, IsHiddenDistinctiveAndOfOneExactForm) {
    struct Case {
        const char* name;
        bool ours;
    };
    for (const Case& c : {Case{".Orlith.conf.tmp-x8Yz0Q", true}, Case{".Orlith.conf.tmp-backup", true},
                          Case{".Orlith.conf.tmp-240611", true}, Case{"Orlith.conf.tmp-x8Yz0Q", false},
                          Case{".Orlith.conf.tmp-x8Yz0", false}, Case{".Orlith.conf.tmp-x8Yz0Qa", false},
                          Case{".Orlith.conf.tmp-x8Y-0Q", false}, Case{".Orlith.cfg.tmp-x8Yz0Q", false},
                          Case{".Orlith.conf.bak.tmp-x8Yz0Q", false}, Case{"Orlith.conf.Backup", false},
                          Case{"Orlith.conf.240611", false}, Case{"Orlith.conf.old123", false},
                          Case{"Orlith.conf.Ab12Cd", false}}) {
        EXPECT_EQ(isTemporaryFileName(c.name, "Orlith.conf"), c.ours) << c.name;
    }
}

TEST_F(FileWriting, TheCleanUpRemovesOnlyOurOwnTemporaryFiles) {
    writeBytes(folder / "Orlith.conf", "MonRG = 250\n");
    const std::vector<std::string> ours{".Orlith.conf.tmp-Ab12Cd", ".Orlith.conf.tmp-zzzzzz"};
    for (const auto& name : ours) writeBytes(folder / name, "MonRG = 1");
    // Names a user may have chosen, the form of earlier versions, and near misses.
    const std::vector<std::string> kept{"Orlith.conf.Backup",      "Orlith.conf.240611",      "Orlith.conf.old123",
                                        "Orlith.conf.Ab12Cd",      "Orlith.conf.tmp-Ab12Cd",  ".Orlith.conf.tmp-Ab12C",
                                        ".Other.conf.tmp-Ab12Cd",  ".Orlith.conf.bak.tmp-Ab12Cd"};
    for (const auto& name : kept) writeBytes(folder / name, "keep");
    fs::create_directory(folder / ".Orlith.conf.tmp-Dir123");
    writeBytes(folder / "elsewhere", "keep");
    fs::create_symlink(folder / "elsewhere", folder / ".Orlith.conf.tmp-Lnk123");
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(),
                    {"Orlith.conf", ".Orlith.conf.tmp-Dir123", ".Orlith.conf.tmp-Lnk123", "elsewhere"});
    if (::geteuid() == 0) {
        // Someone else's file of our form is theirs to clear away.
        writeBytes(folder / ".Orlith.conf.tmp-Nob0dy", "theirs");
        ASSERT_EQ(::chown((folder / ".Orlith.conf.tmp-Nob0dy").c_str(), NOBODY, NOBODY), 0);
        expected.push_back(".Orlith.conf.tmp-Nob0dy");
    }
    std::sort(expected.begin(), expected.end());

    removeStaleTemporaryFiles((folder / "Orlith.conf").string());
    EXPECT_EQ(names(folder), expected);
    EXPECT_EQ(contents(folder / "elsewhere"), "keep");
}

// The old files stand until commit(), which puts every new one in place at
// once, keeping each file's bits, following links, and leaving nothing beside.
TEST_F(FileWriting, ABatchReplacesItsFilesOnlyWhenCommitted) {
    writeBytes(folder / "page-00.png", "old 0");
    ASSERT_EQ(::chmod((folder / "page-00.png").c_str(), 0604), 0);
    fs::create_directory(folder / "real");
    writeBytes(folder / "real" / "page-02.png", "old 2");
    fs::create_symlink("real/page-02.png", folder / "page-02.png");
    const auto before = snapshot(folder);
    std::string error;
    FileBatch batch;
    for (const char* name : {"page-00.png", "page-01.png", "page-02.png"}) {
        ASSERT_TRUE(batch.add((folder / name).string(), std::string("new ") + name, error)) << error;
    }
    // Until then only temporary files, of the one form, are beside them.
    auto waiting = snapshot(folder);
    std::size_t temporaries = 0;
    for (auto it = waiting.begin(); it != waiting.end();) {
        const fs::path name(it->first);
        if (isTemporaryFileName(name.filename().string(), "page-00.png") ||
            isTemporaryFileName(name.filename().string(), "page-01.png") ||
            isTemporaryFileName(name.filename().string(), "page-02.png")) {
            ++temporaries;
            it = waiting.erase(it);
        } else {
            ++it;
        }
    }
    EXPECT_EQ(temporaries, 3u);
    EXPECT_EQ(waiting, before);

    ASSERT_TRUE(batch.commit(error)) << error;
    EXPECT_EQ(contents(folder / "page-00.png"), "new page-00.png");
    EXPECT_EQ(permissionBits(folder / "page-00.png"), 0604u);
    EXPECT_EQ(contents(folder / "page-01.png"), "new page-01.png");
    EXPECT_EQ(permissionBits(folder / "page-01.png"), 0666 & ~currentUmask());
    EXPECT_TRUE(fs::is_symlink(folder / "page-02.png"));
    EXPECT_EQ(contents(folder / "real" / "page-02.png"), "new page-02.png");
    EXPECT_EQ(names(folder), (std::vector<std::string>{"page-00.png", "page-01.png", "page-02.png", "real"}));
    EXPECT_EQ(names(folder / "real"), std::vector<std::string>{"page-02.png"});
}

TEST_F(FileWriting, ABatchNeverCommittedChangesNothing) {
    writeBytes(folder / "page-00.png", "old 0");
    const auto before = snapshot(folder);
    {
        FileBatch batch;
        std::string error;
        ASSERT_TRUE(batch.add((folder / "page-00.png").string(), "new 0", error)) << error;
        ASSERT_TRUE(batch.add((folder / "page-01.png").string(), "new 1", error)) << error;
    }
    EXPECT_EQ(snapshot(folder), before);
}

// What is at a name can change between add() and commit(): the files before
// the one that cannot be placed are in place, it and the rest are as they were.
TEST_F(FileWriting, ACommitThatFailsPartWayPlacesTheFilesBeforeAndNoMore) {
    for (const char* name : {"a", "b", "c"}) writeBytes(folder / name, std::string("old ") + name);
    FileBatch batch;
    std::string error;
    for (const char* name : {"a", "b", "c"}) {
        ASSERT_TRUE(batch.add((folder / name).string(), std::string("new ") + name, error)) << error;
    }
    fs::remove(folder / "b");
    fs::create_directory(folder / "b");
    writeBytes(folder / "b" / "inside", "kept");
    EXPECT_FALSE(batch.commit(error));
    EXPECT_EQ(error, "cannot write " + (folder / "b").string() + ": Is a directory");
    EXPECT_EQ(contents(folder / "a"), "new a");
    EXPECT_EQ(names(folder / "b"), std::vector<std::string>{"inside"});
    EXPECT_EQ(contents(folder / "c"), "old c");
    EXPECT_EQ(names(folder), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace veltrane
