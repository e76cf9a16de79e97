// One row of pixels of any colours, built once and written into many rows of
// a locked surface: how the block pages draw, since every row of a block band
// is the same. A 24-bit row is copied byte for byte (streamed on surfaces too
// big for the cache); a 32-bit row is written as its runs of one colour, each
// with 64-bit read-modify-writes that keep the fourth bytes (reading a stored
// row as well as the surface turned out slower).
#pragma once

#include <cstdint>
#include <vector>

#include "display/row_copy.h"
#include "display/surface.h"

namespace veltrane {

class PixelRow {
public:
    // `count` pixels of the locked surface's depth, all black to start.
    // Throws std::bad_alloc when the row cannot be allocated.
    PixelRow(const LockedSurface& target, std::int32_t count);

    // Sets the pixels from `left` to `right` - 1 to one 0x00RRGGBB colour;
    // the span is clipped to the row.
    void setSpan(std::int32_t left, std::int32_t right, std::uint32_t colour);

    // Writes the row from the left edge of each of `rows` of the surface the
    // row was made for. Nothing past the row's last colour byte is written,
    // and at 32 bits the fourth byte of every pixel keeps what it held.
    void storeInto(const LockedSurface& locked, RowRange rows);

private:
    std::int32_t count_;
    std::int32_t step_;
    struct Run {
        std::int32_t left;
        std::int32_t count;
        std::uint32_t colour;
    };
    void findRuns();
    void storeRow(std::uint8_t* first, RowStores stores) const;

    std::vector<std::uint8_t> bytes_;     // 24 bits: count pixels, 3 bytes each
    std::vector<std::uint32_t> colours_;  // 32 bits: one colour per pixel
    std::vector<Run> runs_;               // 32 bits: colours_ as runs, once found
    bool runsFound_ = false;
};

}  // namespace veltrane
