// The resources built into veltrane.exe: the manifest that makes it per-monitor
// DPI aware, where the loader looks for it, and the version resource. (Wine
// does not scale the metrics of programs that are not DPI aware, so the
// manifest's effect itself can only be seen on a scaled Windows desktop.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

class ExecutableResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string path = VELTRANE_EXE_PATH;
        // Cross-built, the build tree's Unix path is reached through Wine's Z: drive.
        if (!path.empty() && path[0] == '/') path = "Z:" + path;
        exe = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(exe, nullptr) << path;
        exePath = path;
    }
    void TearDown() override {
        if (exe != nullptr) FreeLibrary(exe);
    }

    std::string resource(LPCSTR type, LPCSTR name) const {
        const HRSRC found = FindResourceA(exe, name, type);
        if (found == nullptr) return {};
        const HGLOBAL loaded = LoadResource(exe, found);
        const auto* bytes = static_cast<const char*>(LockResource(loaded));
        return bytes == nullptr ? std::string() : std::string(bytes, SizeofResource(exe, found));
    }

    HMODULE exe = nullptr;
    std::string exePath;
};

TEST_F(ExecutableResourcesTest, TheManifestDeclaresPerMonitorDpiAwareness) {
    // Resource 1 of type RT_MANIFEST is the one the loader applies to a process.
    const std::string manifest = resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>"),
              std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
}

// The version resource of the executable at `path`: its original file name and its major version.
void expectVersionResource(const std::string& path, const char* fileName) {
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u) << path;
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    char* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\OriginalFilename",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, fileName);
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), VELTRANE_VERSION_MAJOR);
}

TEST_F(ExecutableResourcesTest, TheVersionResourceNamesTheProgram) { expectVersionResource(exePath, "veltrane.exe"); }

TEST(LutExecutableResources, TheVersionResourceNamesTheToolAndItRunsAsTheUser) {
    std::string path = VELTRANE_LUT_EXE_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    expectVersionResource(path, "veltrane-lut.exe");
    const HMODULE lut = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(lut, nullptr);
    const HRSRC found = FindResourceA(lut, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(lut, found)));
    const std::string manifest(bytes, SizeofResource(lut, found));
    FreeLibrary(lut);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
}

}  // namespace
