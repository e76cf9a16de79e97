#include <gtest/gtest.h>

#include <ostream>
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/key_map.h"
#include "display/memory_surface.h"
#include "patterns/caption.h"
#include "tests/support/fake_text_renderer.h"
#include "tests/support/surface_expectations.h"
#include "tests/support/test_surface.h"

namespace veltrane {
namespace {

using test::ExpectedBytes;
using test::matchesBytes;
using test::TestSurface;

std::string narrow(const std::u16string& text) {
    std::string out;
    for (const char16_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

TEST(ComposeCaptionText, StartUpTextOfTheFirstPage) {
    const std::u16string text = composeCaptionText(u"Red", {});
    EXPECT_EQ(narrow(text), "Red: R:1.00,1.00,1.00, G:1.00,1.00,1.00, B:1.00,1.00,1.00");
    EXPECT_EQ(text.size(), 57u);
}

TEST(ComposeCaptionText, ValuesComeInBrightnessContrastGammaOrderPerChannel) {
    ColorCalibration c;
    c.red = {0.11, 0.12, 0.13};
    c.green = {0.21, 0.22, 0.23};
    c.blue = {0.31, 0.32, 0.33};
    EXPECT_EQ(narrow(composeCaptionText(u"X", c)),
              "X: R:0.11,0.12,0.13, G:0.21,0.22,0.23, B:0.31,0.32,0.33");
}

TEST(ComposeCaptionText, CtrlPageUpChangesOnlyTheSixthNumber) {
    ControlState state;
    handleKeyDown(state, KEY_CONTROL);
    handleKeyDown(state, KEY_PAGE_UP);
    EXPECT_EQ(narrow(composeCaptionText(u"Red", state.calibration)),
              "Red: R:1.00,1.00,1.00, G:1.00,1.00,1.01, B:1.00,1.00,1.00");
}

TEST(ComposeCaptionText, BrightnessAHairBelowZeroPrintsMinusZero) {
    ControlState state;
    for (int i = 0; i < 100; ++i) handleKeyDown(state, KEY_DELETE);
    EXPECT_EQ(narrow(composeCaptionText(u"Red", state.calibration)),
              "Red: R:-0.00,1.00,1.00, G:1.00,1.00,1.00, B:1.00,1.00,1.00");
    handleKeyDown(state, KEY_DELETE);
    EXPECT_EQ(narrow(composeCaptionText(u"Red", state.calibration)),
              "Red: R:-0.01,1.00,1.00, G:1.00,1.00,1.00, B:1.00,1.00,1.00");
}

TEST(ComposeCaptionText, RoundsToTwoDecimals) {
    ColorCalibration c;
    c.red = {0.8999999999999999, 2.5, -0.4};
    c.green = {123456.789, -7.0, 0.126};
    c.blue = {1.005, 0.0, -0.004};  // 1.005 is a hair below in binary
    EXPECT_EQ(narrow(composeCaptionText(u"T", c)),
              "T: R:0.90,2.50,-0.40, G:123456.79,-7.00,0.13, B:1.00,0.00,-0.00");
}

TEST(ComposeCaptionText, LongestTitleGives94Characters) {
    const std::u16string text = composeCaptionText(u"Gamma Check (Same color = correct gamma)", {});
    EXPECT_EQ(text.size(), 94u);
    EXPECT_EQ(narrow(text),
              "Gamma Check (Same color = correct gamma): R:1.00,1.00,1.00, G:1.00,1.00,1.00, "
              "B:1.00,1.00,1.00");
}

TEST(ComposeCaptionText, WidestLoadableValuesFitWhole) {
    ColorCalibration c;
    for (ChannelCalibration* ch : {&c.red, &c.green, &c.blue}) *ch = {-21474836.48, -21474836.48, -21474836.48};
    const std::u16string text = composeCaptionText(u"Gamma Check (Same color = correct gamma)", c);
    EXPECT_EQ(text.size(), 166u);
}

TEST(ComposeCaptionText, VeryLargeValuesAreCutTo255Units) {
    ColorCalibration c;
    for (ChannelCalibration* ch : {&c.red, &c.green, &c.blue}) *ch = {1e300, -1e300, 1e200};
    const std::u16string text = composeCaptionText(u"Red", c);
    ASSERT_EQ(text.size(), CAPTION_MAX_LENGTH);
    EXPECT_EQ(narrow(text.substr(0, 8)), "Red: R:1");
    // 1e300 prints as 301 digits and a fraction: the cut falls inside it.
    EXPECT_EQ(text.find(u','), std::u16string::npos);

    const std::u16string longTitle(400, u'x');
    const std::u16string cut = composeCaptionText(longTitle, {});
    EXPECT_EQ(cut, std::u16string(255, u'x'));
}

TEST(ComposeCaptionText, TitleIsInsertedUnchanged) {
    const std::u16string text = composeCaptionText(u"Gr\u00fcn \u4e00", {});
    EXPECT_EQ(text.substr(0, 8), u"Gr\u00fcn \u4e00: ");
    EXPECT_EQ(text.size(), 6u + 54u);
}

TEST(CaptionWidth, CodesBelow128AddTheirWidthAndOthersSixteen) {
    CharWidths widths{};
    for (std::size_t i = 0; i < widths.size(); ++i) widths[i] = static_cast<std::int32_t>(i) + 1000;
    struct Case {
        std::u16string_view text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {u"", 0},
        {u"A", 1065},
        {u"\x7f", 1127},
        {u"\u0080", 16},        // even though its measured width is 1128
        {u"\u00ff", 16},
        {u"\u4e00", 16},
        {u"\uffff", 16},
        {u"A\u00e9B", 1065 + 16 + 1066},
        {u" : ", 1032 + 1058 + 1032},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(captionWidth(c.text, widths), c.expected) << narrow(std::u16string(c.text));
    }
}

TEST(CaptionWidth, AddsUpWithoutOverflow) {
    CharWidths widths{};
    widths.fill(2000000000);
    EXPECT_EQ(captionWidth(u"AB", widths), 2147483647);
    widths.fill(-5);
    EXPECT_EQ(captionWidth(u"AB", widths), 0);
}

// A picture whose every pixel says where it belongs: red = row, green =
// column, blue fixed. Top byte zero, as a bitmap pixel has.
std::uint32_t bandPixel(std::int32_t x, std::int32_t y) {
    return static_cast<std::uint32_t>(y) << 16 | static_cast<std::uint32_t>(x & 0xFF) << 8 | 0x5Au;
}

CaptionBitmap pictureBitmap(std::int32_t width) {
    CaptionBitmap bitmap(width);
    for (std::int32_t y = 0; y < CAPTION_HEIGHT; ++y) {
        for (std::int32_t x = 0; x < width; ++x) bitmap.pictureRow(y)[x] = bandPixel(x, y);
    }
    return bitmap;
}

TEST(CaptionBitmap, StoredRowsRunBottomUpWithoutGaps) {
    CaptionBitmap bitmap(7);
    ASSERT_EQ(bitmap.pixels.size(), 7u * 18u);
    EXPECT_EQ(bitmap.storedRow(0), bitmap.pixels.data());
    EXPECT_EQ(bitmap.pictureRow(17), bitmap.pixels.data());
    EXPECT_EQ(bitmap.pictureRow(0), bitmap.pixels.data() + 17 * 7);
    for (const std::uint32_t p : bitmap.pixels) EXPECT_EQ(p, CAPTION_BACKGROUND);
}

struct BandLayout {
    std::int32_t surfaceWidth;
    std::int32_t surfaceHeight;
    std::int32_t bitsPerPixel;
    std::int32_t pitch;
    std::int32_t bandWidth;
};

void PrintTo(const BandLayout& l, std::ostream* os) {
    *os << l.surfaceWidth << "x" << l.surfaceHeight << " " << l.bitsPerPixel << "bpp pitch "
        << l.pitch << " band " << l.bandWidth;
}

class CopyCaptionBandLayouts : public ::testing::TestWithParam<BandLayout> {};

// The band lands upright in rows 0..17 and the first band-width columns, cut
// at the surface's right edge and bottom; every other byte stays as it was.
TEST_P(CopyCaptionBandLayouts, CopiesTheUprightPictureAndNothingElse) {
    const BandLayout& l = GetParam();
    TestSurface surface(l.surfaceWidth, l.surfaceHeight, l.bitsPerPixel, l.pitch);
    test::fillWithPositionPattern(surface);
    ExpectedBytes expected(surface);
    for (std::int32_t y = 0; y < std::min(CAPTION_HEIGHT, l.surfaceHeight); ++y) {
        for (std::int32_t x = 0; x < std::min(l.bandWidth, l.surfaceWidth); ++x) {
            expected.setColour(x, y, bandPixel(x, y));
            if (l.bitsPerPixel == 32) expected.setByte(x, y, 3, 0);  // the bitmap's zero byte
        }
    }
    const CaptionBitmap bitmap = pictureBitmap(l.bandWidth);
    LockedSurface locked;
    ASSERT_TRUE(surface.lock(locked));
    copyCaptionBand(locked, bitmap);
    surface.unlock();
    EXPECT_TRUE(matchesBytes(surface, expected));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CopyCaptionBandLayouts,
    ::testing::Values(BandLayout{100, 30, 32, 0, 60},   // band inside
                      BandLayout{100, 30, 24, 0, 60},   // 3 bytes per pixel, no smear
                      BandLayout{100, 30, 32, 100 * 4 + 16, 60},
                      BandLayout{100, 30, 24, 100 * 3 + 5, 100},  // band as wide as the surface
                      BandLayout{20, 30, 32, 0, 60},    // cut at the right edge
                      BandLayout{20, 30, 24, 20 * 3 + 7, 60},
                      BandLayout{100, 10, 32, 0, 60},   // shorter than the band: cut at the bottom
                      BandLayout{7, 1, 24, 0, 300},     // both
                      BandLayout{100, 18, 32, 0, 1}));

// Where the fake renderer puts green: rows 2..13 of each non-space character's
// cell, leaving the cell's last column black.
bool fakeGlyphAt(std::u16string_view text, std::int32_t x, std::int32_t y) {
    if (y < 2 || y > 13) return false;
    std::int32_t left = 0;
    for (const char16_t c : text) {
        const std::int32_t cell = FakeTextRenderer::widthOf(c);
        if (x < left + cell) return c != u' ' && x < left + cell - 1;
        left += cell;
    }
    return false;
}

struct CaptionSurface {
    std::int32_t width;
    std::int32_t height;
    std::int32_t bitsPerPixel;
    std::int32_t pitch;
};

void PrintTo(const CaptionSurface& s, std::ostream* os) {
    *os << s.width << "x" << s.height << " " << s.bitsPerPixel << "bpp pitch " << s.pitch;
}

class DrawCaptionSurfaces : public ::testing::TestWithParam<CaptionSurface> {};

TEST_P(DrawCaptionSurfaces, GreenGlyphsOnABlackBandOfCaptionWidth) {
    const CaptionSurface& s = GetParam();
    TestSurface surface(s.width, s.height, s.bitsPerPixel, s.pitch);
    test::fillWithPositionPattern(surface);
    FakeTextRenderer text;
    ColorCalibration calibration;
    calibration.green.gamma = 2.5;  // the caption's colours ignore the correction

    const std::u16string_view title = u"Gray scale (0-255)";
    const std::u16string caption = composeCaptionText(title, calibration);
    std::int32_t bandWidth = 0;
    for (const char16_t c : caption) bandWidth += FakeTextRenderer::widthOf(c);

    ExpectedBytes expected(surface);
    for (std::int32_t y = 0; y < std::min(CAPTION_HEIGHT, s.height); ++y) {
        for (std::int32_t x = 0; x < std::min(bandWidth, s.width); ++x) {
            expected.setColour(x, y, fakeGlyphAt(caption, x, y) ? 0x00FF00u : 0x000000u);
            if (s.bitsPerPixel == 32) expected.setByte(x, y, 3, 0);
        }
    }
    EXPECT_FALSE(drawCaption(surface, text, title, calibration));
    EXPECT_TRUE(matchesBytes(surface, expected));
    EXPECT_EQ(surface.lockCount, 1);
    EXPECT_EQ(surface.unlockCount, 1);
    EXPECT_EQ(text.measureCount, 1);
    EXPECT_EQ(text.drawCount, 1);
}

INSTANTIATE_TEST_SUITE_P(Surfaces, DrawCaptionSurfaces,
                         ::testing::Values(CaptionSurface{800, 24, 32, 0},
                                           CaptionSurface{800, 24, 24, 0},
                                           CaptionSurface{800, 20, 32, 800 * 4 + 32},
                                           CaptionSurface{100, 24, 32, 0},  // narrower than the band
                                           CaptionSurface{100, 24, 24, 0},
                                           CaptionSurface{800, 9, 24, 0},   // shorter than the band
                                           CaptionSurface{3, 2, 32, 0}));

TEST(DrawCaption, BandWidthFollowsTheWidthRuleForWideCharacters) {
    // A code of 128 or more widens the band by 16 pixels whatever its drawn width.
    for (const std::u16string_view title : {std::u16string_view(u"Red"), std::u16string_view(u"Red\u00e9")}) {
        TestSurface surface(800, 20, 32, 0, 0xAA);
        FakeTextRenderer text;
        drawCaption(surface, text, title, {});
        CharWidths widths{};
        text.measureCharWidths(widths);
        const std::int32_t band = captionWidth(composeCaptionText(title, {}), widths);
        const std::uint8_t* row18 = surface.bytes().data() + 18 * surface.pitch();
        const std::uint8_t* row0 = surface.bytes().data();
        EXPECT_EQ(row0[(band - 1) * 4 + 3], 0);
        EXPECT_EQ(row0[band * 4 + 3], 0xAA);
        EXPECT_EQ(row18[0], 0xAA);
    }
    CharWidths widths{};
    FakeTextRenderer().measureCharWidths(widths);
    EXPECT_EQ(captionWidth(composeCaptionText(u"Red\u00e9", {}), widths),
              captionWidth(composeCaptionText(u"Red", {}), widths) + 16);
}

TEST(DrawCaption, FailedLockLeavesThePageWithoutCaption) {
    TestSurface surface(800, 24, 32);
    test::fillWithPositionPattern(surface);
    const ExpectedBytes unchanged(surface);
    surface.failLocks = true;
    FakeTextRenderer text;
    EXPECT_FALSE(drawCaption(surface, text, u"Red", {}));
    EXPECT_TRUE(matchesBytes(surface, unchanged));
    EXPECT_EQ(surface.unlockCount, 0);
}

TEST(DrawCaption, TextThatCannotBeDrawnIsNotCopied) {
    TestSurface surface(800, 24, 32);
    test::fillWithPositionPattern(surface);
    const ExpectedBytes unchanged(surface);
    FakeTextRenderer text;
    text.failDrawing = true;
    EXPECT_FALSE(drawCaption(surface, text, u"Red", {}));
    EXPECT_TRUE(matchesBytes(surface, unchanged));
    EXPECT_EQ(surface.lockCount, 0);
}

}  // namespace
}  // namespace veltrane
