// The lines --list-displays prints for Wayland outputs: pixels, logical
// position and scale.
#include <gtest/gtest.h>

#include "platform/wayland/wayland_registry.h"

namespace veltrane {
namespace {

TEST(DescribeWaylandOutput, GivesPixelsPositionAndScale) {
    WaylandOutput primary;
    primary.name = "HEADLESS-1";
    primary.pixelWidth = 1280;
    primary.pixelHeight = 800;
    primary.scale = OutputScale{180};
    EXPECT_EQ(describeWaylandOutput(0, primary), "0: HEADLESS-1 1280x800 at 0,0, scale 1.5 (primary)");

    WaylandOutput second;
    second.pixelWidth = 3840;
    second.pixelHeight = 2160;
    second.logicalX = 853;
    second.logicalY = -40;
    EXPECT_EQ(describeWaylandOutput(1, second), "1: (no name) 3840x2160 at 853,-40, scale unknown");
}

}  // namespace
}  // namespace veltrane
