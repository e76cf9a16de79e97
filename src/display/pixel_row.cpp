#include "display/pixel_row.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "display/row_copy.h"

namespace veltrane {
namespace {

constexpr std::uint32_t FOURTH_BYTE = 0xFF000000u;

// Pixel memory read as little-endian words puts blue in the low byte and the
// fourth byte in the high one; elsewhere the row is stored byte by byte.
constexpr bool WORDS_MATCH_PIXEL_BYTES = std::endian::native == std::endian::little;

}  // namespace

PixelRow::PixelRow(const LockedSurface& target, std::int32_t count)
    : count_(std::max(count, 0)), step_(target.pixelStep()), streaming_(shouldStreamInto(target)),
      bytes_(static_cast<std::size_t>(count_) * static_cast<std::size_t>(step_), 0) {}

void PixelRow::setSpan(std::int32_t left, std::int32_t right, std::uint32_t colour) {
    left = std::max(left, 0);
    right = std::min(right, count_);
    for (std::int32_t x = left; x < right; ++x) {
        storePixel(bytes_.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(step_),
                   colour);
    }
}

void PixelRow::storeAt(std::uint8_t* first) const {
    if (step_ != 4) {
        copyRow(first, bytes_.data(), bytes_.size(), streaming_);
        return;
    }
    const std::uint8_t* source = bytes_.data();
    if constexpr (WORDS_MATCH_PIXEL_BYTES) {
        for (std::size_t i = 0; i < bytes_.size(); i += 4) {
            std::uint32_t word;
            std::uint32_t colour;
            std::memcpy(&word, first + i, sizeof word);
            std::memcpy(&colour, source + i, sizeof colour);
            word = (word & FOURTH_BYTE) | colour;
            std::memcpy(first + i, &word, sizeof word);
        }
    } else {
        for (std::size_t i = 0; i < bytes_.size(); i += 4) {
            std::memcpy(first + i, source + i, 3);
        }
    }
}

}  // namespace veltrane
