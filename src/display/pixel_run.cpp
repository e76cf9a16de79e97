#include "display/pixel_run.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "display/row_copy.h"

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

PixelRun::PixelRun(const LockedSurface& target, std::int32_t count, std::uint32_t evenColour,
                   std::uint32_t oddColour)
    : count_(std::max(count, 0)), step_(target.pixelStep()), streaming_(shouldStreamInto(target)),
      evenColour_(evenColour & COLOUR_BYTES),
      oddColour_(oddColour & COLOUR_BYTES) {
    if (step_ != 3) return;
    const std::int32_t pixels = std::min(count_, TEMPLATE_PIXELS);
    for (std::int32_t x = 0; x < pixels; ++x) {
        storePixel(template_.data() + static_cast<std::size_t>(x) * 3,
                   (x & 1) == 0 ? evenColour_ : oddColour_);
    }
    templateBytes_ = pixels * 3;
}

void PixelRun::storeAt(std::uint8_t* first) const {
    if (count_ == 0) return;
    if (step_ == 3) {
        // The template holds an even number of pixels whenever it is shorter
        // than the run, so each copy starts on an even pixel.
        std::size_t remaining = static_cast<std::size_t>(count_) * 3;
        const auto piece = static_cast<std::size_t>(templateBytes_);
        while (remaining > 0) {
            const std::size_t bytes = std::min(remaining, piece);
            copyRow(first, template_.data(), bytes, streaming_);
            first += bytes;
            remaining -= bytes;
        }
        return;
    }
    if constexpr (WORDS_MATCH_PIXEL_BYTES) {
        if (step_ == 4) {
            storeWords(first);
            return;
        }
    }
    storeBytewise(first);
}

void PixelRun::storeWords(std::uint8_t* first) const {
    const std::uint64_t pair = (static_cast<std::uint64_t>(oddColour_) << 32) | evenColour_;
    const std::size_t pairs = static_cast<std::size_t>(count_) / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
        std::uint8_t* at = first + i * 8;
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        word = (word & FOURTH_BYTES) | pair;
        std::memcpy(at, &word, sizeof word);
    }
    if ((count_ & 1) != 0) storePixel(first + pairs * 8, evenColour_);
}

void PixelRun::storeBytewise(std::uint8_t* first) const {
    for (std::int32_t x = 0; x < count_; ++x, first += step_) {
        storePixel(first, (x & 1) == 0 ? evenColour_ : oddColour_);
    }
}

}  // namespace veltrane
