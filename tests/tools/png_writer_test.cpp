#include <gtest/gtest.h>

#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scoped_file_size_limit.h"
#include "tools/png_writer.h"

namespace fs = std::filesystem;
using namespace veltrane;

namespace {

// A surface over its own bytes, the padding at the end of each row set to a
// value no pixel has, so a writer that reads the pitch wrong shows it.
struct TestSurface {
    std::vector<std::uint8_t> bytes;
    LockedSurface locked;

    TestSurface(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel, std::int32_t padding) {
        const std::int32_t step = bitsPerPixel / 8;
        const std::int32_t pitch = width * step + padding;
        bytes.assign(static_cast<std::size_t>(pitch) * static_cast<std::size_t>(height), 0xEE);
        std::uint32_t seed = 12345;
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                for (std::int32_t c = 0; c < step; ++c) {
                    seed = seed * 1103515245u + 12345u;
                    bytes[static_cast<std::size_t>(y * pitch + x * step + c)] =
                        static_cast<std::uint8_t>((seed >> 16) % 0xEE);
                }
            }
        }
        locked = LockedSurface{bytes.data(), pitch, width, height, bitsPerPixel};
    }

    // Red, green, blue of each pixel, row after row: what the PNG must hold.
    std::vector<std::uint8_t> expectedRgb() const {
        std::vector<std::uint8_t> rgb;
        for (std::int32_t y = 0; y < locked.height; ++y) {
            const std::uint8_t* pixel = locked.row(y);
            for (std::int32_t x = 0; x < locked.width; ++x, pixel += locked.pixelStep()) {
                rgb.insert(rgb.end(), {pixel[2], pixel[1], pixel[0]});
            }
        }
        return rgb;
    }
};

struct DecodedPng {
    bool ok = false;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    png_uint_32 format = 0;  // as stored in the file
    std::vector<std::uint8_t> rgb;
};

DecodedPng decodePng(const fs::path& path) {
    DecodedPng decoded;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return decoded;
    decoded.format = image.format;
    image.format = PNG_FORMAT_RGB;
    decoded.rgb.resize(PNG_IMAGE_SIZE(image));
    decoded.ok = png_image_finish_read(&image, nullptr, decoded.rgb.data(), 0, nullptr) != 0;
    decoded.width = image.width;
    decoded.height = image.height;
    png_image_free(&image);
    return decoded;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

mode_t permissionBits(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 0777;
}

class PngWriter : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltrane-png-writer.XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
};

// Sets the umask for one test and puts the old one back.
struct ScopedUmask {
    mode_t previous;
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }
};

using veltrane::test::ScopedFileSizeLimit;

struct LayoutCase {
    std::int32_t width, height, bitsPerPixel, padding;
};

class PngWriterLayout : public PngWriter, public testing::WithParamInterface<LayoutCase> {};

TEST_P(PngWriterLayout, WritesEachPixelsColourBytesAsEightBitRgb) {
    const LayoutCase c = GetParam();
    const TestSurface surface(c.width, c.height, c.bitsPerPixel, c.padding);
    const fs::path path = folder / "page.png";
    std::string error;
    ASSERT_TRUE(writeSurfacePng(surface.locked, path.string(), error)) << error;

    const DecodedPng decoded = decodePng(path);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
    EXPECT_EQ(decoded.width, static_cast<png_uint_32>(c.width));
    EXPECT_EQ(decoded.height, static_cast<png_uint_32>(c.height));
    EXPECT_EQ(decoded.rgb, surface.expectedRgb());
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"page.png"});
}

INSTANTIATE_TEST_SUITE_P(Cases, PngWriterLayout,
                         testing::Values(LayoutCase{7, 5, 32, 0}, LayoutCase{7, 5, 24, 0},
                                         LayoutCase{7, 5, 24, 3}, LayoutCase{7, 5, 32, 8},
                                         LayoutCase{1, 1, 24, 0}));

struct UmaskCase {
    mode_t umask;
    mode_t mode;
};

class PngWriterNewFileMode : public PngWriter, public testing::WithParamInterface<UmaskCase> {};

TEST_P(PngWriterNewFileMode, IsReadWriteForAllLessTheUmask) {
    const ScopedUmask mask(GetParam().umask);
    const TestSurface surface(4, 4, 32, 0);
    std::string error;
    ASSERT_TRUE(writeSurfacePng(surface.locked, (folder / "new.png").string(), error)) << error;
    EXPECT_EQ(permissionBits(folder / "new.png"), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(Cases, PngWriterNewFileMode,
                         testing::Values(UmaskCase{022, 0644}, UmaskCase{077, 0600}, UmaskCase{002, 0664},
                                         UmaskCase{0, 0666}));

TEST_F(PngWriter, ReplacingAFileKeepsItsPermissionBits) {
    const ScopedUmask mask(022);
    const TestSurface surface(4, 4, 32, 0);
    for (const mode_t mode : {0600, 0640, 0664}) {
        const fs::path path = folder / ("kept-" + std::to_string(mode) + ".png");
        writeBytes(path, "old picture");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        std::string error;
        ASSERT_TRUE(writeSurfacePng(surface.locked, path.string(), error)) << error;
        EXPECT_EQ(permissionBits(path), mode) << std::oct << mode;
        EXPECT_EQ(decodePng(path).rgb, surface.expectedRgb());
    }
}

TEST_F(PngWriter, WritesThroughASymbolicLinkWhichStaysALink) {
    const TestSurface surface(4, 4, 24, 0);
    fs::create_directory(folder / "real");
    writeBytes(folder / "real" / "target.png", "old picture");
    fs::create_symlink(fs::path("real") / "target.png", folder / "link.png");
    std::string error;
    ASSERT_TRUE(writeSurfacePng(surface.locked, (folder / "link.png").string(), error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder / "link.png"));
    EXPECT_EQ(decodePng(folder / "real" / "target.png").rgb, surface.expectedRgb());
    EXPECT_EQ(namesIn(folder / "real"), std::set<std::string>{"target.png"});
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"link.png", "real"}));
}

TEST_F(PngWriter, AWriteThatFailsHalfWayLeavesTheOldFileAndNoOtherFile) {
    // Noise does not compress, so the picture is far larger than the limit.
    const TestSurface surface(64, 64, 32, 0);
    const fs::path path = folder / "page.png";
    writeBytes(path, "the old, good picture");
    std::string error;
    bool written = true;
    {
        const ScopedFileSizeLimit limit(4096);
        written = writeSurfacePng(surface.locked, path.string(), error);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + path.string() + ": " + std::strerror(EFBIG));
    EXPECT_EQ(readBytes(path), "the old, good picture");
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"page.png"});
}

TEST_F(PngWriter, AWriteThatFailsHalfWayLeavesNoFileWhereThereWasNone) {
    const TestSurface surface(64, 64, 32, 0);
    std::string error;
    bool written = true;
    {
        const ScopedFileSizeLimit limit(4096);
        written = writeSurfacePng(surface.locked, (folder / "page.png").string(), error);
    }
    EXPECT_FALSE(written);
    EXPECT_TRUE(namesIn(folder).empty());
}

TEST_F(PngWriter, AFolderInTheWayIsNamedAndLeftAlone) {
    const TestSurface surface(4, 4, 32, 0);
    const fs::path path = folder / "page.png";
    fs::create_directory(path);
    writeBytes(path / "inside", "kept");
    std::string error;
    EXPECT_FALSE(writeSurfacePng(surface.locked, path.string(), error));
    EXPECT_EQ(error, "cannot write " + path.string() + ": it is a folder");
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(readBytes(path / "inside"), "kept");
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"page.png"});
}

TEST_F(PngWriter, AMissingFolderIsNamedAndNothingIsCreated) {
    const TestSurface surface(4, 4, 32, 0);
    const fs::path path = folder / "missing" / "page.png";
    std::string error;
    EXPECT_FALSE(writeSurfacePng(surface.locked, path.string(), error));
    EXPECT_EQ(error, "cannot write " + path.string() + ": cannot create a file in the folder " +
                         (folder / "missing").string() + ": " + std::strerror(ENOENT));
    EXPECT_TRUE(namesIn(folder).empty());
}

TEST_F(PngWriter, AnUnwritableFolderIsNamedAndTheOldFileKept) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
    const TestSurface surface(4, 4, 32, 0);
    const fs::path path = folder / "page.png";
    writeBytes(path, "old picture");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    std::string error;
    EXPECT_FALSE(writeSurfacePng(surface.locked, path.string(), error));
    EXPECT_EQ(error, "cannot write " + path.string() + ": cannot create a file in the folder " +
                         folder.string() + ": " + std::strerror(EACCES));
    EXPECT_EQ(readBytes(path), "old picture");
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"page.png"});
}

TEST_F(PngWriter, AWriteProtectedFileStaysAsItWasEvenForRoot) {
    const TestSurface surface(4, 4, 32, 0);
    const fs::path path = folder / "page.png";
    writeBytes(path, "old picture");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(writeSurfacePng(surface.locked, path.string(), error));
    EXPECT_EQ(error, "cannot write " + path.string() + ": Permission denied (the file is write-protected)");
    EXPECT_EQ(readBytes(path), "old picture");
    EXPECT_EQ(permissionBits(path), 0444u);
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"page.png"});
}

TEST_F(PngWriter, AFifoIsWrittenIntoAndStaysAFifo) {
    const TestSurface surface(6, 3, 24, 0);
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = readBytes(fifo); });
    std::string error;
    const bool written = writeSurfacePng(surface.locked, fifo.string(), error);
    reader.join();
    EXPECT_TRUE(written) << error;
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"pipe"});
    writeBytes(folder / "received.png", received);
    EXPECT_EQ(decodePng(folder / "received.png").rgb, surface.expectedRgb());
}

}  // namespace
