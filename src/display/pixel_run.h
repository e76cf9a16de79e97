// A run of pixels along one row in one colour or two alternating ones, built
// once and written into many rows: the colour bytes of a 24-bit run are laid
// out once and copied whole, and a 32-bit run is written two pixels at a time with one 64-bit
// read-modify-write that keeps each fourth byte. Both are plain loops the
// compiler vectorises; the result is byte for byte what storing each pixel's
// blue, green and red bytes one after the other gives.
#pragma once

#include <cstdint>
#include <vector>

#include "display/row_copy.h"
#include "display/surface.h"

namespace veltrane {

// Writes `count` 32-bit pixels from `first`, alternating between two
// 0x00RRGGBB colours, two pixels per 64-bit read-modify-write; every fourth
// byte keeps what it held.
void storeAlternating32(std::uint8_t* first, std::int32_t count, std::uint32_t evenColour,
                        std::uint32_t oddColour);

class PixelRun {
public:
    // `count` pixels of the locked surface's depth, alternating between
    // `evenColour` (the run's first pixel, its third, ...) and `oddColour`.
    // A run of one colour passes the same value twice. Both are 0x00RRGGBB;
    // their top bytes are ignored. A count of zero or less writes nothing.
    PixelRun(const LockedSurface& target, std::int32_t count, std::uint32_t evenColour,
             std::uint32_t oddColour);

    // Writes the run with its first pixel in column `left` of each of `rows`
    // of the surface the run was made for. Nothing past the run's last colour
    // byte is written, and at 32 bits the fourth byte of every pixel keeps
    // what it held.
    void storeInto(const LockedSurface& locked, RowRange rows, std::int32_t left) const;

    // The same for one row, the run's first pixel at `first`, for drawers
    // that alternate runs from row to row and write the rows in order.
    // Streaming stores must be finished (finishRowCopies) before the unlock.
    void storeRow(std::uint8_t* first, RowStores stores) const;

private:
    void storeBytewise(std::uint8_t* first) const;

    std::int32_t count_;
    std::int32_t step_;
    std::uint32_t evenColour_;
    std::uint32_t oddColour_;
    // 24 bits: the run's bytes, laid out once. Left empty when they cannot be
    // allocated; the run is then stored pixel by pixel.
    std::vector<std::uint8_t> bytes_;
};

}  // namespace veltrane
