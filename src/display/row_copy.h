// Copying a row built once into the rows of a locked surface. A surface too
// big to stay in the processor's caches is written with streaming stores,
// which skip reading each line before overwriting it: at 7680x4320 and 24
// bits that nearly halves the memory traffic of a page. Smaller surfaces keep
// ordinary stores, so what was just drawn is still in the cache when it is
// presented or uploaded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/surface.h"

namespace veltrane {

enum class RowStores { Cached, Streaming };

// Surfaces of this many bytes (pitch times height) or more are streamed:
// larger than the last-level cache of the processors this runs on.
inline constexpr std::int64_t STREAMING_SURFACE_BYTES = std::int64_t{64} << 20;

RowStores rowStoresFor(const LockedSurface& locked);

// Writes `bytes` bytes of `source` from `target`, and nothing outside them.
// Where the processor has no streaming stores, both kinds are an ordinary
// copy. Streaming stores are weakly ordered: finishRowCopies() must follow
// the last copy, before the surface is unlocked.
void copyRow(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes,
             RowStores stores);
void finishRowCopies(RowStores stores);

// Copies every row of `source` into the same row of `target`, which must have
// the same width, height and depth: the pixels' bytes alone, so whatever
// lies in a row's padding past its last pixel is left alone. Only writes the
// target, with the stores rowStoresFor(target) picks.
void copyPixelRows(const LockedSurface& target, const LockedSurface& source);

// The rows from `top` to `bottom` - 1.
struct RowRange {
    std::int32_t top;
    std::int32_t bottom;
};

}  // namespace veltrane
