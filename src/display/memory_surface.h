// A surface in ordinary memory: what the SDL program's back buffer, the
// headless exporter, the benchmarks and the unit tests draw into. Any width,
// height and pitch; 8 to 32 bits per pixel, though only a drawable layout (24
// or 32 bits per pixel, a pitch that holds a row) can be locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/surface.h"

namespace veltrane {

class MemorySurface : public Surface {
public:
    // A pitch of 0 means the tightest: width times the pixel step. A negative
    // pitch stores the rows bottom first.
    MemorySurface(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                  std::int32_t pitch = 0, std::uint8_t fill = 0);

    bool lock(LockedSurface& locked) override;
    void unlock() override;

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::int32_t pitch() const { return pitch_; }
    std::int32_t bitsPerPixel() const { return bitsPerPixel_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    // The pixel at (x, y) as 0x00RRGGBB, read from its three colour bytes.
    std::uint32_t pixel(std::int32_t x, std::int32_t y) const;

private:
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t bitsPerPixel_;
    std::int32_t pitch_;
    std::size_t topRowOffset_ = 0;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace veltrane
