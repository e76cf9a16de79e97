// The choice of monitor for --display, on arrangements this machine's
// virtual screen cannot show: several monitors, a primary that is not the
// first, negative offsets, a monitor without a size.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/sdl/display_choice.h"

namespace veltrane {
namespace {

const Monitor LAPTOP{"eDP-1", {0, 0, 1920, 1200}, true};
const Monitor RIGHT_4K{"DP-2", {1920, 0, 3840, 2160}, false};
const Monitor LEFT_OF_ORIGIN{"HDMI-1", {-1280, 200, 1280, 1024}, false};
const Monitor PRIMARY_SECOND{"DP-1", {2560, 0, 2560, 1440}, true};
const Monitor SIDE_FIRST{"HDMI-2", {0, 0, 2560, 1440}, false};
const Monitor SWITCHED_OFF{"VGA-1", {0, 0, 0, 0}, false};

struct ChoiceCase {
    const char* what;
    std::vector<Monitor> monitors;
    std::optional<int> requested;
    std::optional<int> expectedIndex;
    MonitorBounds expectedBounds;
    const char* expectedErrorPart;  // nullptr when the choice must succeed
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.what; }

class MonitorChoiceTable : public testing::TestWithParam<ChoiceCase> {};

TEST_P(MonitorChoiceTable, ChoosesTheRightMonitorOrSaysWhyNot) {
    const ChoiceCase& c = GetParam();
    const MonitorChoice choice = chooseMonitor(c.monitors, c.requested);
    EXPECT_EQ(choice.index, c.expectedIndex);
    if (c.expectedErrorPart == nullptr) {
        EXPECT_EQ(choice.error, "");
        EXPECT_EQ(choice.bounds.x, c.expectedBounds.x);
        EXPECT_EQ(choice.bounds.y, c.expectedBounds.y);
        EXPECT_EQ(choice.bounds.width, c.expectedBounds.width);
        EXPECT_EQ(choice.bounds.height, c.expectedBounds.height);
    } else {
        EXPECT_NE(choice.error.find(c.expectedErrorPart), std::string::npos) << choice.error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arrangements, MonitorChoiceTable,
    testing::Values(
        ChoiceCase{"one monitor, nothing asked", {LAPTOP}, std::nullopt, 0, {0, 0, 1920, 1200}, nullptr},
        ChoiceCase{"one monitor, 0 asked", {LAPTOP}, 0, 0, {0, 0, 1920, 1200}, nullptr},
        ChoiceCase{"second monitor asked", {LAPTOP, RIGHT_4K}, 1, 1, {1920, 0, 3840, 2160}, nullptr},
        ChoiceCase{"monitor left of the origin", {LAPTOP, RIGHT_4K, LEFT_OF_ORIGIN}, 2, 2, {-1280, 200, 1280, 1024},
                   nullptr},
        ChoiceCase{"primary listed second is the default", {SIDE_FIRST, PRIMARY_SECOND}, std::nullopt, 1,
                   {2560, 0, 2560, 1440}, nullptr},
        ChoiceCase{"asking overrides the primary", {SIDE_FIRST, PRIMARY_SECOND}, 0, 0, {0, 0, 2560, 1440}, nullptr},
        ChoiceCase{"no primary flagged: the first", {RIGHT_4K, LEFT_OF_ORIGIN}, std::nullopt, 0,
                   {1920, 0, 3840, 2160}, nullptr},
        ChoiceCase{"one past the last of one", {LAPTOP}, 1, std::nullopt, {}, "there is no display 1: the only display is 0"},
        ChoiceCase{"one past the last of two", {LAPTOP, RIGHT_4K}, 2, std::nullopt, {},
                   "there is no display 2: the displays are 0 to 1"},
        ChoiceCase{"negative number", {LAPTOP, RIGHT_4K}, -1, std::nullopt, {}, "there is no display -1"},
        ChoiceCase{"far beyond the list", {LAPTOP}, 2147483647, std::nullopt, {}, "there is no display 2147483647"},
        ChoiceCase{"no monitors at all", {}, std::nullopt, std::nullopt, {}, "no display was found"},
        ChoiceCase{"no monitors, one asked", {}, 0, std::nullopt, {}, "no display was found"},
        ChoiceCase{"asked monitor has no size", {LAPTOP, SWITCHED_OFF}, 1, std::nullopt, {},
                   "display 1 reports no size (0x0)"}),
    [](const testing::TestParamInfo<ChoiceCase>& info) {
        std::string name;
        for (const char* p = info.param.what; *p != '\0'; ++p) {
            const char ch = *p;
            if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) name += ch;
            else if (!name.empty() && name.back() != '_') name += '_';
        }
        return name;
    });

TEST(DescribeMonitor, GivesNumberNameSizePositionAndPrimary) {
    EXPECT_EQ(describeMonitor(0, LAPTOP), "0: eDP-1 1920x1200 at 0,0 (primary)");
    EXPECT_EQ(describeMonitor(2, LEFT_OF_ORIGIN), "2: HDMI-1 1280x1024 at -1280,200");
    EXPECT_EQ(describeMonitor(1, Monitor{"", {1920, 0, 800, 600}, false}), "1: (no name) 800x600 at 1920,0");
}

TEST(WaylandSession, IsToldByEitherVariable) {
    EXPECT_TRUE(isWaylandSession("wayland-0", nullptr));
    EXPECT_TRUE(isWaylandSession("", "wayland"));
    EXPECT_TRUE(isWaylandSession(nullptr, "wayland"));
    EXPECT_FALSE(isWaylandSession(nullptr, "x11"));
    EXPECT_FALSE(isWaylandSession("", ""));
    EXPECT_FALSE(isWaylandSession(nullptr, nullptr));
}

TEST(DriverPreference, PutsWaylandFirstOnAWaylandSessionOnly) {
    const std::vector<std::string> sdlOrder{"x11", "wayland", "kmsdrm"};
    EXPECT_EQ(driverPreference(sdlOrder, true), "wayland,x11,kmsdrm");
    EXPECT_EQ(driverPreference(sdlOrder, false), "x11,wayland,kmsdrm");
    EXPECT_EQ(driverPreference({"x11", "kmsdrm"}, true), "x11,kmsdrm");
    EXPECT_EQ(driverPreference({}, true), "");
}

TEST(ScaledXScreenWarning, SaysHowToGetExactPixelsWhenTheXScreenIsSmaller) {
    const MonitorBounds xwayland{0, 0, 640, 400};
    const auto forced = scaledXScreenWarning(xwayland, "HEADLESS-1", 1280, 800, "2", "x11", true);
    ASSERT_TRUE(forced.has_value());
    EXPECT_EQ(*forced,
              "the X screen is 640x400 but the Wayland output HEADLESS-1 has 1280x800 pixels at scale 2: the "
              "compositor scales every pixel of this program, so single-pixel lines and dots are not single "
              "pixels; for exact pixels unset SDL_VIDEODRIVER (it asks for \"x11\") and run it on Wayland");
    const auto noDriver = scaledXScreenWarning({0, 0, 853, 533}, "DP-1", 1280, 800, "1.5", "", false);
    ASSERT_TRUE(noDriver.has_value());
    EXPECT_NE(noDriver->find("install an SDL 2 with its Wayland video driver"), std::string::npos) << *noDriver;
    const auto notReached = scaledXScreenWarning(xwayland, "DP-1", 1280, 800, "2", "", true);
    ASSERT_TRUE(notReached.has_value());
    EXPECT_NE(notReached->find("make sure WAYLAND_DISPLAY names the running compositor"), std::string::npos);
    // The X screen has every pixel of the output: nothing to say.
    EXPECT_FALSE(scaledXScreenWarning({0, 0, 1280, 800}, "HEADLESS-1", 1280, 800, "1", "x11", true));
    EXPECT_FALSE(scaledXScreenWarning({0, 0, 2560, 1600}, "HEADLESS-1", 1280, 800, "1", "x11", true));
    // An X monitor without a size says nothing about scaling.
    EXPECT_FALSE(scaledXScreenWarning({0, 0, 0, 0}, "HEADLESS-1", 1280, 800, "2", "x11", true));
}

}  // namespace
}  // namespace veltrane
