#include "display/pixel_row.h"

#include <algorithm>
#include <cstddef>

#include "display/pixel_run.h"

namespace veltrane {

PixelRow::PixelRow(const LockedSurface& target, std::int32_t count)
    : count_(std::max(count, 0)), step_(target.pixelStep()) {
    if (step_ == 4) {
        colours_.assign(static_cast<std::size_t>(count_), 0x000000);
    } else {
        bytes_.assign(static_cast<std::size_t>(count_) * static_cast<std::size_t>(step_), 0);
    }
}

void PixelRow::setSpan(std::int32_t left, std::int32_t right, std::uint32_t colour) {
    left = std::max(left, 0);
    right = std::min(right, count_);
    if (left >= right) return;
    if (step_ == 4) {
        std::fill(colours_.begin() + left, colours_.begin() + right, colour & 0x00FFFFFFu);
        runsFound_ = false;
        return;
    }
    for (std::int32_t x = left; x < right; ++x) {
        storePixel(bytes_.data() + static_cast<std::size_t>(x) * static_cast<std::size_t>(step_),
                   colour);
    }
}

void PixelRow::findRuns() {
    runs_.clear();
    for (std::int32_t x = 0; x < count_;) {
        const std::uint32_t colour = colours_[static_cast<std::size_t>(x)];
        std::int32_t end = x + 1;
        while (end < count_ && colours_[static_cast<std::size_t>(end)] == colour) ++end;
        runs_.push_back({x, end - x, colour});
        x = end;
    }
    runsFound_ = true;
}

void PixelRow::storeInto(const LockedSurface& locked, RowRange rows) {
    if (step_ == 4 && !runsFound_) findRuns();
    const RowStores stores = rowStoresFor(locked);
    for (std::int32_t y = rows.top; y < rows.bottom; ++y) storeRow(locked.row(y), stores);
    finishRowCopies(stores);
}

void PixelRow::storeRow(std::uint8_t* first, RowStores stores) const {
    if (step_ != 4) {
        copyRow(first, bytes_.data(), bytes_.size(), stores);
        return;
    }
    for (const Run& run : runs_) {
        storeAlternating32(first + static_cast<std::size_t>(run.left) * 4, run.count, run.colour,
                           run.colour);
    }
}

}  // namespace veltrane
