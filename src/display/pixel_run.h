// A run of pixels along one row, written the fast way: the colour bytes of a
// 24-bit run are built once into a small template and copied in large pieces
// (streamed past the caches on large surfaces), and a 32-bit run is written two pixels at a time with one 64-bit
// read-modify-write that keeps each fourth byte. Both loops are plain C++ the
// compiler vectorises; the result is byte for byte what storing each pixel's
// blue, green and red bytes one after the other gives.
#pragma once

#include <array>
#include <cstdint>

#include "display/surface.h"

namespace veltrane {

class PixelRun {
public:
    // `count` pixels of the locked surface's depth, alternating between
    // `evenColour` (the run's first pixel, its third, ...) and `oddColour`.
    // A run of one colour passes the same value twice. Both are 0x00RRGGBB;
    // their top bytes are ignored. A count of zero or less writes nothing.
    PixelRun(const LockedSurface& target, std::int32_t count, std::uint32_t evenColour,
             std::uint32_t oddColour);

    // Writes the run with its first pixel at `first`, inside the surface the
    // run was made for. Nothing past the run's last colour byte is written,
    // and at 32 bits the fourth byte of every pixel keeps what it held. Call
    // finishStreaming() (display/row_copy.h) before the surface is unlocked.
    void storeAt(std::uint8_t* first) const;

private:
    // Long enough that a row of a 4K screen takes four copies, short enough to
    // live on the stack and be built in well under a microsecond. Even, so a
    // two-pixel pattern goes on seamlessly from one copy to the next.
    static constexpr std::int32_t TEMPLATE_PIXELS = 1024;

    void storeWords(std::uint8_t* first) const;
    void storeBytewise(std::uint8_t* first) const;

    std::int32_t count_;
    std::int32_t step_;
    bool streaming_;
    std::uint32_t evenColour_;
    std::uint32_t oddColour_;
    std::int32_t templateBytes_ = 0;  // 24 bits only
    std::array<std::uint8_t, TEMPLATE_PIXELS * 3> template_;
};

}  // namespace veltrane
