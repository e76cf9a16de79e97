// The back buffer's blue-green-red pixels to the canvas's red-green-blue-alpha
// order: every colour byte in its place, alpha 255 whatever the fourth byte
// held, no byte of the rows' padding carried over, at both depths and at
// widths that leave a tail after every vector of pixels.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/memory_surface.h"
#include "platform/web/canvas_pixels.h"

namespace veltrane {
namespace {

std::vector<std::uint8_t> canvasPixelsOf(MemorySurface& surface) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(surface.width()) * surface.height() * 4, 0x5A);
    LockedSurface locked;
    EXPECT_TRUE(surface.lock(locked));
    copyToCanvasPixels(locked, rgba.data());
    surface.unlock();
    return rgba;
}

TEST(CanvasPixels, ReordersTheColourBytesAndMakesEveryPixelOpaque) {
    // 2x2 at 32 bits with a pitch of 12: four bytes of padding after each row.
    MemorySurface surface(2, 2, 32, 12, 0xEE);
    const std::vector<std::uint8_t> rows = {
        0x01, 0x02, 0x03, 0x00, 0x10, 0x20, 0x30, 0xFF, 0xEE, 0xEE, 0xEE, 0xEE,
        0xAA, 0xBB, 0xCC, 0x7F, 0x00, 0x00, 0xFF, 0x80, 0xEE, 0xEE, 0xEE, 0xEE,
    };
    surface.bytes() = rows;
    const std::vector<std::uint8_t> expected = {
        0x03, 0x02, 0x01, 0xFF, 0x30, 0x20, 0x10, 0xFF,
        0xCC, 0xBB, 0xAA, 0xFF, 0xFF, 0x00, 0x00, 0xFF,
    };
    EXPECT_EQ(canvasPixelsOf(surface), expected);
}

TEST(CanvasPixels, TwentyFourBitSurfacesToo) {
    MemorySurface surface(2, 1, 24, 8, 0xEE);
    surface.bytes() = {0x01, 0x02, 0x03, 0x10, 0x20, 0x30, 0xEE, 0xEE};
    const std::vector<std::uint8_t> expected = {0x03, 0x02, 0x01, 0xFF, 0x30, 0x20, 0x10, 0xFF};
    EXPECT_EQ(canvasPixelsOf(surface), expected);
}

TEST(CanvasPixels, EveryPixelOfWideOddRowsLandsInPlace) {
    for (const std::int32_t width : {1, 3, 4, 5, 17, 37, 1366}) {
        SCOPED_TRACE(width);
        MemorySurface surface(width, 3, 32, width * 4 + 4, 0);
        for (std::size_t i = 0; i < surface.bytes().size(); ++i) {
            surface.bytes()[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
        const std::vector<std::uint8_t> rgba = canvasPixelsOf(surface);
        for (std::int32_t y = 0; y < 3; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint8_t* source = surface.bytes().data() + y * surface.pitch() + x * 4;
                const std::uint8_t* target = rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
                ASSERT_EQ(target[0], source[2]) << x << "," << y;
                ASSERT_EQ(target[1], source[1]) << x << "," << y;
                ASSERT_EQ(target[2], source[0]) << x << "," << y;
                ASSERT_EQ(target[3], 0xFF) << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace veltrane
