// The SDL program's back buffer: a Surface over a heap buffer, 32 bits per
// pixel (blue, green, red, spare byte in memory) or 24 (blue, green, red),
// rows packed tightly. Every unlock marks it changed, so presentation uploads
// it to the screen's texture only after something was drawn.
// Depends on the core's Surface seam only.
#pragma once

#include <cstdint>
#include <vector>

#include "display/surface.h"

namespace veltrane {

class SystemMemorySurface final : public Surface {
public:
    SystemMemorySurface(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel);

    bool lock(LockedSurface& locked) override;
    void unlock() override;

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::int32_t pitch() const { return pitch_; }
    std::int32_t bitsPerPixel() const { return bitsPerPixel_; }
    const std::uint8_t* pixels() const { return bytes_.data(); }

    // True from the first unlock after markUploaded() until the next markUploaded().
    bool changedSinceUpload() const { return changed_; }
    void markUploaded() { changed_ = false; }

private:
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t bitsPerPixel_;
    std::int32_t pitch_;
    std::vector<std::uint8_t> bytes_;
    bool locked_ = false;
    bool changed_ = true;  // a new buffer has never been uploaded
};

}  // namespace veltrane
