#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/drm/drm_connector_edid.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

// A small copy of /sys/class/drm: the cards, their connectors, a render node.
class DrmFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltrane-drm-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        connector("card0", "");  // the card itself has no dash and no EDID
        connector("renderD128", "");
        connector("card0-HDMI-A-1", "monitor on card0 HDMI-A-1");
        connector("card1-HDMI-A-1", "monitor on card1 HDMI-A-1");
        connector("card0-DP-1", "");  // nothing plugged in: the kernel shows an empty file
        connector("card0-eDP-1", "");
        connector("card1-eDP-1", "laptop panel on card1");
        connector("card0-HDMI-A-10", "monitor on card0 HDMI-A-10");
    }
    void TearDown() override { fs::remove_all(folder); }

    void connector(const std::string& name, const std::string& edid) {
        fs::create_directories(folder / name);
        if (name.find('-') != std::string::npos) std::ofstream(folder / name / "edid", std::ios::binary) << edid;
    }

    fs::path folder;
};

TEST_F(DrmFolder, FindsTheConnectorsMonitorOnTheFirstCardThatHasOne) {
    const struct {
        const char* connector;
        std::optional<std::string> edid;
    } cases[] = {
        {"HDMI-A-1", "monitor on card0 HDMI-A-1"},
        {"HDMI-A-10", "monitor on card0 HDMI-A-10"},
        {"eDP-1", "laptop panel on card1"},
        {"DP-1", std::nullopt},
        {"DP-2", std::nullopt},
        {"A-1", std::nullopt},
        {"", std::nullopt},
        {"../card0-HDMI-A-1", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(drmConnectorEdid(folder.string(), c.connector), c.edid) << c.connector;
    }
}

TEST_F(DrmFolder, AMissingFolderHasNoMonitors) {
    EXPECT_EQ(drmConnectorEdid((folder / "absent").string(), "HDMI-A-1"), std::nullopt);
}

}  // namespace
}  // namespace veltrane
