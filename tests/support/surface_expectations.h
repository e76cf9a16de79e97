// Byte-exact checks of a memory surface. A test builds the image it expects
// from a copy of what the surface held before the call, marks the bytes the
// call must write, and compares every byte of the surface memory: pixel bytes,
// the fourth byte of 32-bit pixels and the bytes after each row alike.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/memory_surface.h"

namespace veltrane::test {

class ExpectedBytes {
public:
    explicit ExpectedBytes(const MemorySurface& surface)
        : bytes_(surface.bytes()), pitch_(surface.pitch()), step_(surface.bitsPerPixel() / 8) {}

    // The three colour bytes of pixel (x, y), stored blue, green, red.
    void setColour(std::int32_t x, std::int32_t y, std::uint32_t rgb) {
        std::uint8_t* p = at(x, y);
        p[0] = static_cast<std::uint8_t>(rgb);
        p[1] = static_cast<std::uint8_t>(rgb >> 8);
        p[2] = static_cast<std::uint8_t>(rgb >> 16);
    }

    void setByte(std::int32_t x, std::int32_t y, std::int32_t offset, std::uint8_t value) {
        at(x, y)[offset] = value;
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::int32_t pitch() const { return pitch_; }
    std::int32_t step() const { return step_; }

private:
    std::uint8_t* at(std::int32_t x, std::int32_t y) {
        return bytes_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_) +
               static_cast<std::size_t>(x) * static_cast<std::size_t>(step_);
    }

    std::vector<std::uint8_t> bytes_;
    std::int32_t pitch_;
    std::int32_t step_;
};

// Compares the whole surface memory and names the first byte that differs.
inline ::testing::AssertionResult matchesBytes(const MemorySurface& surface,
                                               const ExpectedBytes& expected) {
    const std::vector<std::uint8_t>& actual = surface.bytes();
    if (actual.size() != expected.bytes().size()) {
        return ::testing::AssertionFailure() << "surface size changed";
    }
    std::size_t mismatches = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected.bytes()[i]) {
            if (mismatches == 0) first = i;
            ++mismatches;
        }
    }
    if (mismatches == 0) return ::testing::AssertionSuccess();
    const std::size_t pitch = static_cast<std::size_t>(surface.pitch());
    const std::size_t step = static_cast<std::size_t>(surface.bitsPerPixel() / 8);
    const std::size_t y = first / pitch;
    const std::size_t inRow = first % pitch;
    auto failure = ::testing::AssertionFailure();
    failure << mismatches << " byte(s) differ; first at row " << y;
    if (inRow < static_cast<std::size_t>(surface.width()) * step) {
        failure << ", pixel x " << inRow / step << ", byte " << inRow % step;
    } else {
        failure << ", padding byte " << inRow - static_cast<std::size_t>(surface.width()) * step;
    }
    return failure << ": expected " << int{expected.bytes()[first]} << ", got "
                   << int{actual[first]};
}

// Gives every byte of the surface a value that depends on its position, so a
// write to a wrong place cannot go unnoticed.
inline void fillWithPositionPattern(MemorySurface& surface) {
    std::vector<std::uint8_t>& bytes = surface.bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
}

}  // namespace veltrane::test
