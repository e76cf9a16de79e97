#include <gtest/gtest.h>

#include "patterns/render_page.h"
#include "platform/memory/fake_text_renderer.h"
#include "platform/memory/memory_surface.h"

TEST(Smoke, RedPage) {
    veltrane::MemorySurface s(64, 32, 32);
    veltrane::FakeTextRenderer t;
    veltrane::ColorCalibration c;
    veltrane::renderPage({s, &t, 64, 32}, 0, c);
    EXPECT_EQ(s.pixel(63, 31), 0xFF0000u);
}
