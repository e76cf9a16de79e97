// The in-memory surface locks only layouts the drawers can write through:
// 24 or 32 bits per pixel and a pitch that holds a whole row. Any other lock is
// refused like a failed one, so no drawer writes a pixel of the wrong size or
// walks rows that overlap or run backwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>

#include "display/fill_rect.h"
#include "patterns/page_catalogue.h"
#include "patterns/render_page.h"
#include "display/memory_surface.h"
#include "tests/support/fake_text_renderer.h"
#include "tests/support/test_surface.h"

namespace veltrane {
namespace {

constexpr std::int32_t WIDTH = 7;
constexpr std::int32_t HEIGHT = 3;
constexpr std::uint8_t UNTOUCHED = 0xA5;

struct Layout {
    std::int32_t bitsPerPixel;
    std::int32_t pitch;  // 0 is the tightest
    bool drawable;
};

std::ostream& operator<<(std::ostream& os, const Layout& l) {
    return os << l.bitsPerPixel << " bpp, pitch " << l.pitch;
}

const Layout LAYOUTS[] = {
    {32, 0, true},
    {24, 0, true},
    {24, WIDTH * 3, true},       // exactly one row
    {32, WIDTH * 4 + 5, true},   // bytes after each row
    {16, 0, false},
    {8, 0, false},
    {16, WIDTH * 4, false},      // room enough, but two-byte pixels
    {32, WIDTH * 4 - 1, false},  // one byte short of a row
    {24, WIDTH * 3 - 3, false},  // one pixel short of a row
    {32, -WIDTH * 4, false},     // rows stored bottom first
    {24, -(WIDTH * 3 + 1), false},
};

bool allUntouched(const MemorySurface& surface) {
    return std::all_of(surface.bytes().begin(), surface.bytes().end(),
                       [](std::uint8_t byte) { return byte == UNTOUCHED; });
}

TEST(MemorySurface, LocksOnlyLayoutsTheDrawersCanWriteThrough) {
    for (const Layout& layout : LAYOUTS) {
        SCOPED_TRACE(testing::Message() << layout);
        test::TestSurface surface(WIDTH, HEIGHT, layout.bitsPerPixel, layout.pitch, UNTOUCHED);
        LockedSurface locked;
        const bool granted = surface.lock(locked);
        EXPECT_EQ(granted, layout.drawable);
        if (granted) {
            EXPECT_EQ(locked.pixels, surface.bytes().data());
            EXPECT_EQ(locked.pitch, surface.pitch());
            EXPECT_EQ(locked.width, WIDTH);
            EXPECT_EQ(locked.height, HEIGHT);
            EXPECT_EQ(locked.bitsPerPixel, layout.bitsPerPixel);
            surface.unlock();
        }
        EXPECT_EQ(surface.lockCount, layout.drawable ? 1 : 0);
    }
}

TEST(MemorySurface, ARefusedLockLeavesEveryByteAsItWas) {
    // The fill and every page, patterns and caption included, see the refused
    // lock as a failed one: they write nothing and unlock nothing.
    for (const Layout& layout : LAYOUTS) {
        if (layout.drawable) continue;
        SCOPED_TRACE(testing::Message() << layout);
        test::TestSurface surface(WIDTH, HEIGHT, layout.bitsPerPixel, layout.pitch, UNTOUCHED);
        EXPECT_TRUE(fillRect(surface, nullptr, 0xFFFFFF));
        for (int page = 0; page < PAGE_COUNT; ++page) {
            FakeTextRenderer text;
            renderPage({surface, &text, WIDTH, HEIGHT}, page, {});
        }
        EXPECT_TRUE(allUntouched(surface));
        EXPECT_EQ(surface.lockCount, 0);
        EXPECT_EQ(surface.unlockCount, 0);
    }
}

}  // namespace
}  // namespace veltrane
