#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "display/memory_surface.h"
#include "patterns/gamma_check.h"
#include "tests/support/surface_expectations.h"
#include "tests/support/test_surface.h"

namespace veltrane {
namespace {

using test::ExpectedBytes;
using test::matchesBytes;
using test::TestSurface;

std::uint32_t rgb(int r, int g, int b) {
    return static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}

TEST(GammaCheckRamp, TwentyOneColumnsStepByAHalf) {
    const double expected[21] = {0, 0.5, 1, 0.5, 0, 0.5, 1, 0.5, 0, 0.5, 1,
                                 0.5, 0, 0.5, 1, 0.5, 0, 0.5, 1, 0.5, 0};
    for (int i = 0; i < 21; ++i) EXPECT_EQ(gammaCheckRamp(i, 21), expected[i]) << "column " << i;
}

TEST(GammaCheckRamp, ElevenColumnsAlternateAndExactlyTwoFoldsToZero) {
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(gammaCheckRamp(i, 11), i % 2 == 0 ? 0.0 : 1.0) << "column " << i;
    }
}

TEST(GammaCheckRamp, RightColumnIsAtTheBottomOfTheRampAtAnyWidth) {
    for (std::int32_t width = 2; width <= 4096; ++width) {
        const double t = gammaCheckRamp(width - 1, width);
        ASSERT_GE(t, 0.0) << "width " << width;
        ASSERT_LT(t, 1e-12) << "width " << width;
    }
    EXPECT_EQ(gammaCheckRamp(0, 1), 0.0);  // a single column has no span to divide
}

// Checks every byte: even rows the ramp colours, odd rows the complement
// colours, column by column; the rows equal each other over the whole pitch.
void expectRows(const MemorySurface& surface, const std::vector<std::uint32_t>& ramp,
                const std::vector<std::uint32_t>& complement) {
    const auto pitch = static_cast<std::size_t>(surface.pitch());
    const std::uint8_t* bytes = surface.bytes().data();
    for (std::int32_t y = 0; y < surface.height(); ++y) {
        for (std::int32_t x = 0; x < surface.width(); ++x) {
            const std::uint32_t want = y % 2 == 0 ? ramp[static_cast<std::size_t>(x)]
                                                  : complement[static_cast<std::size_t>(x)];
            ASSERT_EQ(surface.pixel(x, y), want) << "x " << x << " y " << y;
        }
        const std::uint8_t* model = bytes + (y % 2 == 0 ? 0 : pitch);
        ASSERT_EQ(std::memcmp(bytes + static_cast<std::size_t>(y) * pitch, model, pitch), 0)
            << "row " << y << " differs from row " << y % 2 << " over the pitch";
    }
}

TEST(DrawGammaCheck, NeutralTwentyOneWide) {
    const int rampLevels[4] = {0, 127, 255, 127};
    const int complementLevels[4] = {255, 228, 0, 228};
    std::vector<std::uint32_t> ramp;
    std::vector<std::uint32_t> complement;
    for (int i = 0; i < 21; ++i) {
        const int r = rampLevels[i % 4];
        const int c = complementLevels[i % 4];
        ramp.push_back(rgb(r, r, r));
        complement.push_back(rgb(c, c, c));
    }
    for (const std::int32_t bpp : {24, 32}) {
        for (const std::int32_t height : {2, 6, 7}) {
            TestSurface surface(21, height, bpp, 21 * (bpp / 8) + 3);
            test::fillWithPositionPattern(surface);
            EXPECT_FALSE(drawGammaCheck(surface, {}));
            expectRows(surface, ramp, complement);
            EXPECT_EQ(surface.lockCount, 1);
            EXPECT_EQ(surface.unlockCount, 1);
        }
    }
}

TEST(DrawGammaCheck, ElevenWideAlternatesBlackOverWhiteAndWhiteOverBlack) {
    std::vector<std::uint32_t> ramp;
    std::vector<std::uint32_t> complement;
    for (int i = 0; i < 11; ++i) {
        ramp.push_back(i % 2 == 0 ? 0x000000u : 0xFFFFFFu);
        complement.push_back(i % 2 == 0 ? 0xFFFFFFu : 0x000000u);
    }
    TestSurface surface(11, 4, 32);
    test::fillWithPositionPattern(surface);
    EXPECT_FALSE(drawGammaCheck(surface, {}));
    expectRows(surface, ramp, complement);
    EXPECT_EQ(surface.pixel(2, 0), 0x000000u);  // x = 2.0 exactly folds to t = 0
}

TEST(DrawGammaCheck, RedGammaTwoAtHalfRamp) {
    ColorCalibration calibration;
    calibration.red.gamma = 2.0;
    TestSurface surface(21, 2, 32);
    EXPECT_FALSE(drawGammaCheck(surface, calibration));
    // Column 1 has t = 0.5; its complement is about 0.8945.
    EXPECT_EQ(surface.pixel(1, 0), rgb(63, 127, 127));
    EXPECT_EQ(surface.pixel(1, 1), rgb(204, 228, 228));
    // Each byte lands in its own channel: blue, green, red.
    const std::uint8_t* p = surface.bytes().data() + 4;
    EXPECT_EQ(p[0], 127);
    EXPECT_EQ(p[1], 127);
    EXPECT_EQ(p[2], 63);
}

TEST(DrawGammaCheck, OddHeightGivesTheBottomRowTheRamp) {
    TestSurface surface(21, 5, 24, 70);
    test::fillWithPositionPattern(surface);
    EXPECT_FALSE(drawGammaCheck(surface, {}));
    const auto pitch = static_cast<std::size_t>(surface.pitch());
    const std::uint8_t* bytes = surface.bytes().data();
    EXPECT_EQ(std::memcmp(bytes + 4 * pitch, bytes, pitch), 0);
    EXPECT_EQ(surface.pixel(2, 4), 0xFFFFFFu);
}

TEST(DrawGammaCheck, RightColumnShowsTheLevelsOfZeroAtCommonWidths) {
    for (const std::int32_t width : {640, 1023, 1280, 1366, 1920}) {
        TestSurface surface(width, 2, 32);
        drawGammaCheck(surface, {});
        EXPECT_EQ(surface.pixel(width - 1, 0), 0x000000u) << "width " << width;
        EXPECT_EQ(surface.pixel(width - 1, 1), 0xFFFFFFu) << "width " << width;
        EXPECT_EQ(surface.pixel(0, 0), 0x000000u) << "width " << width;
    }
}

TEST(DrawGammaCheck, OnePixelWideDrawsTheBottomOfTheRamp) {
    for (const std::int32_t height : {1, 2, 3}) {
        TestSurface surface(1, height, 32);
        EXPECT_FALSE(drawGammaCheck(surface, {}));
        for (std::int32_t y = 0; y < height; ++y) {
            EXPECT_EQ(surface.pixel(0, y), y % 2 == 0 ? 0x000000u : 0xFFFFFFu) << "row " << y;
        }
    }
}

TEST(DrawGammaCheck, ExtremeParametersAreLeftToTheCorrection) {
    ColorCalibration calibration;
    calibration.red.gamma = -1.0;    // t = 0 gives infinity: converted to level 0
    calibration.green.gamma = 0.0;   // 0 to the 0 is 1: full level
    calibration.blue.contrast = 1e300;
    TestSurface surface(11, 2, 32);
    EXPECT_FALSE(drawGammaCheck(surface, calibration));
    EXPECT_EQ(surface.pixel(0, 0), rgb(0, 255, 0));
    // t = 1: red 255, green 255, blue 1e300 * 255 is finite but beyond 2^63, so level 0.
    EXPECT_EQ(surface.pixel(1, 0), rgb(255, 255, 0));
}

// A program keeps the rows between drawings; whatever it went through
// before, each drawing must be byte for byte the fresh one. The steps change
// one thing at a time, as keys and mode changes do, and include channels
// that come to share parameters (whose levels are copied, not recomputed).
TEST(DrawGammaCheck, KeptRowsDrawWhatAFreshComputationDraws) {
    struct Step {
        const char* what;
        std::int32_t width;
        std::int32_t bpp;
        std::int32_t pitch;
        ColorCalibration calibration;
    };
    ColorCalibration tuned;
    tuned.red = {1.02, 0.98, 1.10};
    ColorCalibration redGammaUp = tuned;
    redGammaUp.red.gamma = 1.11;
    ColorCalibration greenLikeRed = redGammaUp;
    greenLikeRed.green = redGammaUp.red;
    ColorCalibration blueDarker = greenLikeRed;
    blueDarker.blue.brightness = 0.5;
    ColorCalibration redAndBlueSwapped = blueDarker;
    std::swap(redAndBlueSwapped.red, redAndBlueSwapped.blue);
    ColorCalibration extreme;
    extreme.red.gamma = -1.0;
    extreme.green.contrast = -2.0;
    extreme.blue.gamma = 0.0;
    const Step steps[] = {
        {"neutral", 37, 32, 37 * 4, {}},
        {"red tuned", 37, 32, 37 * 4, tuned},
        {"red gamma one step up", 37, 32, 37 * 4, redGammaUp},
        {"green takes red's values", 37, 32, 37 * 4, greenLikeRed},
        {"blue brightness down", 37, 32, 37 * 4, blueDarker},
        {"red and blue swapped", 37, 32, 37 * 4, redAndBlueSwapped},
        {"reset", 37, 32, 37 * 4, {}},
        {"extreme values", 37, 32, 37 * 4, extreme},
        {"wider", 64, 32, 64 * 4, extreme},
        {"24 bits at the same width", 64, 24, 64 * 3, extreme},
        {"a padded pitch", 64, 24, 64 * 3 + 5, extreme},
        {"narrower, tuned", 21, 24, 21 * 3 + 5, tuned},
        {"back to 32 bits, neutral", 21, 32, 21 * 4 + 8, {}},
    };
    GammaCheckRows kept;
    for (const Step& step : steps) {
        TestSurface drawn(step.width, 3, step.bpp, step.pitch);
        TestSurface fresh(step.width, 3, step.bpp, step.pitch);
        test::fillWithPositionPattern(drawn);
        test::fillWithPositionPattern(fresh);
        ASSERT_FALSE(drawGammaCheck(drawn, step.calibration, &kept)) << step.what;
        ASSERT_FALSE(drawGammaCheck(fresh, step.calibration)) << step.what;
        EXPECT_EQ(drawn.bytes(), fresh.bytes()) << step.what;
    }
}

TEST(DrawGammaCheck, FailedLockWritesNothing) {
    TestSurface surface(21, 4, 32);
    test::fillWithPositionPattern(surface);
    const ExpectedBytes unchanged(surface);
    surface.failLocks = true;
    EXPECT_TRUE(drawGammaCheck(surface, {}));
    EXPECT_TRUE(matchesBytes(surface, unchanged));
    EXPECT_EQ(surface.unlockCount, 0);
}

}  // namespace
}  // namespace veltrane
