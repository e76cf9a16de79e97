#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/freetype/mono_glyph_copy.h"
#include "tests/freetype/caption_picture.h"

using namespace veltrane;

namespace {

constexpr std::int32_t BITMAP_WIDTH = 12;

// A glyph image built from rows of '#' (set) and '.' (clear), packed the way
// FreeType packs 1-bit rows: most significant bit first, `pitch` bytes a row.
// The bits past the width and the padding bytes are all set, so a copy that
// reads beyond the width shows it.
struct GlyphImage {
    std::vector<unsigned char> bytes;
    FT_Bitmap bitmap{};

    GlyphImage(const std::vector<std::string>& rows, int pitch, bool upward = false) {
        const auto height = static_cast<int>(rows.size());
        const auto width = height == 0 ? 0 : static_cast<int>(rows[0].size());
        const int used = (width + 7) / 8;
        bytes.assign(static_cast<std::size_t>(pitch * height), 0xFF);
        for (int y = 0; y < height; ++y) {
            // Upward rows are stored bottom row first.
            unsigned char* row = bytes.data() + pitch * (upward ? height - 1 - y : y);
            for (int i = 0; i < used; ++i) row[i] = 0;
            for (int x = 0; x < 8 * used; ++x) {
                if (x >= width || rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#') {
                    row[x >> 3] = static_cast<unsigned char>(row[x >> 3] | (0x80 >> (x & 7)));
                }
            }
        }
        bitmap.rows = static_cast<unsigned>(height);
        bitmap.width = static_cast<unsigned>(width);
        bitmap.pitch = upward ? -pitch : pitch;
        bitmap.buffer = bytes.data();
        bitmap.pixel_mode = FT_PIXEL_MODE_MONO;
    }
};

// The upright picture (see captionPicture), cut after the last row that is
// not all background.
std::vector<std::string> pictureOf(const CaptionBitmap& bitmap) {
    std::vector<std::string> rows = test::captionPicture(bitmap);
    while (!rows.empty() && rows.back().find_first_not_of('.') == std::string::npos) rows.pop_back();
    return rows;
}

const std::vector<std::string> TEN_WIDE = {
    "#........#",
    ".#.####.#.",
    "..######..",
};

struct PlacementCase {
    const char* name;
    std::int32_t left, top;
    bool upward;
    int pitch;
    std::vector<std::string> expected;
};

class MonoGlyphPlacement : public testing::TestWithParam<PlacementCase> {};

TEST_P(MonoGlyphPlacement, SetsExactlyTheGlyphsBitsClippedToTheBitmap) {
    const PlacementCase& c = GetParam();
    GlyphImage image(TEN_WIDE, c.pitch, c.upward);
    CaptionBitmap bitmap(BITMAP_WIDTH);
    EXPECT_TRUE(copyMonoGlyph(image.bitmap, c.left, c.top, bitmap));
    EXPECT_EQ(pictureOf(bitmap), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MonoGlyphPlacement,
    testing::Values(
        PlacementCase{"AtTheCorner", 0, 0, false, 2, {"#........#..", ".#.####.#...", "..######...."}},
        PlacementCase{"PaddedRows", 0, 0, false, 4, {"#........#..", ".#.####.#...", "..######...."}},
        PlacementCase{"UpwardRows", 0, 0, true, 3, {"#........#..", ".#.####.#...", "..######...."}},
        PlacementCase{"Moved", 1, 2, false, 2,
                      {"............", "............", ".#........#.", "..#.####.#..", "...######..."}},
        PlacementCase{"CutOnTheRight", 4, 0, false, 2, {"....#.......", ".....#.####.", "......######"}},
        PlacementCase{"CutOnTheLeftAndTop", -2, -1, false, 2, {".####.#.....", "######......"}},
        PlacementCase{"CutAtTheBottom", 0, CAPTION_HEIGHT - 1, false, 2,
                      {"............", "............", "............", "............", "............",
                       "............", "............", "............", "............", "............",
                       "............", "............", "............", "............", "............",
                       "............", "............", "#........#.."}},
        PlacementCase{"EntirelyOutside", BITMAP_WIDTH, CAPTION_HEIGHT, false, 2, {}}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

TEST(MonoGlyph, ClearBitsLeaveWhatIsAlreadyDrawn) {
    GlyphImage first({"##.."}, 1);
    GlyphImage second({"..##"}, 1);
    CaptionBitmap bitmap(BITMAP_WIDTH);
    ASSERT_TRUE(copyMonoGlyph(first.bitmap, 0, 0, bitmap));
    ASSERT_TRUE(copyMonoGlyph(second.bitmap, 0, 0, bitmap));
    EXPECT_EQ(pictureOf(bitmap), std::vector<std::string>{"####........"});
}

// Every byte of these images would read as set bits, so a copy that took them
// as a mask would draw solid blocks.
class NonMonoGlyph : public testing::TestWithParam<FT_Pixel_Mode> {};

TEST_P(NonMonoGlyph, IsRefusedAndNothingIsDrawn) {
    std::vector<unsigned char> bytes(8 * 4 * 4, 0xFF);
    FT_Bitmap image{};
    image.rows = 4;
    image.width = 8;
    image.pitch = 8 * 4;
    image.buffer = bytes.data();
    image.num_grays = 256;
    image.pixel_mode = static_cast<unsigned char>(GetParam());
    CaptionBitmap bitmap(BITMAP_WIDTH);
    EXPECT_FALSE(copyMonoGlyph(image, 0, 0, bitmap));
    EXPECT_TRUE(pictureOf(bitmap).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, NonMonoGlyph,
                         testing::Values(FT_PIXEL_MODE_NONE, FT_PIXEL_MODE_GRAY, FT_PIXEL_MODE_GRAY2,
                                         FT_PIXEL_MODE_GRAY4, FT_PIXEL_MODE_LCD, FT_PIXEL_MODE_LCD_V,
                                         FT_PIXEL_MODE_BGRA));

TEST(MonoGlyph, RowsShorterThanTheWidthAreRefused) {
    GlyphImage image(TEN_WIDE, 2);
    image.bitmap.pitch = 1;  // ten pixels need two bytes a row
    CaptionBitmap bitmap(BITMAP_WIDTH);
    EXPECT_FALSE(copyMonoGlyph(image.bitmap, 0, 0, bitmap));
    EXPECT_TRUE(pictureOf(bitmap).empty());
}

TEST(MonoGlyph, AnEmptyImageDrawsNothing) {
    FT_Bitmap space{};
    space.pixel_mode = FT_PIXEL_MODE_MONO;
    CaptionBitmap bitmap(BITMAP_WIDTH);
    EXPECT_TRUE(copyMonoGlyph(space, 0, 0, bitmap));
    EXPECT_TRUE(pictureOf(bitmap).empty());
}

}  // namespace
