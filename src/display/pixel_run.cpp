#include "display/pixel_run.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <new>


namespace veltrane {
namespace {

constexpr std::uint32_t COLOUR_BYTES = 0x00FFFFFFu;
// The fourth byte of both pixels of a 64-bit pair, as they lie in a
// little-endian word.
constexpr std::uint64_t FOURTH_BYTES = 0xFF000000'FF000000u;

// Pixel memory laid out as little-endian words: 0x00RRGGBB read from a pixel's
// first four bytes puts blue first, as the surface stores it.
constexpr bool WORDS_MATCH_PIXEL_BYTES = std::endian::native == std::endian::little;

}  // namespace

void storeAlternating32(std::uint8_t* first, std::int32_t count, std::uint32_t evenColour,
                        std::uint32_t oddColour) {
    if (count <= 0) return;
    if constexpr (!WORDS_MATCH_PIXEL_BYTES) {
        for (std::int32_t x = 0; x < count; ++x, first += 4) {
            storePixel(first, (x & 1) == 0 ? evenColour : oddColour);
        }
        return;
    }
    const std::uint64_t pair = (static_cast<std::uint64_t>(oddColour & COLOUR_BYTES) << 32) |
                               (evenColour & COLOUR_BYTES);
    const std::size_t pairs = static_cast<std::size_t>(count) / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
        std::uint8_t* at = first + i * 8;
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        word = (word & FOURTH_BYTES) | pair;
        std::memcpy(at, &word, sizeof word);
    }
    if ((count & 1) != 0) storePixel(first + pairs * 8, evenColour);
}

PixelRun::PixelRun(const LockedSurface& target, std::int32_t count, std::uint32_t evenColour,
                   std::uint32_t oddColour)
    : count_(std::max(count, 0)), step_(target.pixelStep()),
      evenColour_(evenColour & COLOUR_BYTES), oddColour_(oddColour & COLOUR_BYTES) {
    if (step_ != 3 || count_ == 0) return;
    try {
        bytes_.resize(static_cast<std::size_t>(count_) * 3);
    } catch (const std::bad_alloc&) {
        return;  // slower, not wrong: storeAt() goes pixel by pixel
    }
    for (std::int32_t x = 0; x < count_; ++x) {
        storePixel(bytes_.data() + static_cast<std::size_t>(x) * 3,
                   (x & 1) == 0 ? evenColour_ : oddColour_);
    }
}

void PixelRun::storeAt(std::uint8_t* first) const {
    if (count_ == 0) return;
    if (step_ == 4) {
        storeAlternating32(first, count_, evenColour_, oddColour_);
    } else if (!bytes_.empty()) {
        std::memcpy(first, bytes_.data(), bytes_.size());
    } else {
        storeBytewise(first);
    }
}

void PixelRun::storeBytewise(std::uint8_t* first) const {
    for (std::int32_t x = 0; x < count_; ++x, first += step_) {
        storePixel(first, (x & 1) == 0 ? evenColour_ : oddColour_);
    }
}

}  // namespace veltrane
