// Copies bytes into pixel memory, optionally past the processor's caches.
//
// A page of a large screen is far bigger than any cache, so the usual stores
// first read every line of the surface they are about to overwrite: a 4K fill
// then moves as many bytes as a memcpy of the whole surface. Streaming stores
// skip that read and write at memset speed. Small surfaces stay in the cache,
// where ordinary stores are faster, so only large ones are streamed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/surface.h"

namespace veltrane {

// Larger than the last-level cache of common desktop processors: a 1080p
// surface (6 to 8 MiB) is written through the cache, a 4K one (24 MiB and
// more) past it.
inline constexpr std::int64_t STREAMING_SURFACE_BYTES = std::int64_t{16} << 20;

// True when writes to this surface are worth streaming and this build can.
bool shouldStreamInto(const LockedSurface& locked);

// Copies `bytes` bytes from `source` to `target`, which may lie anywhere.
// With `streaming`, most of them bypass the caches; call finishStreaming()
// before the surface is unlocked.
void copyRow(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes, bool streaming);

// Makes every streamed store visible before the memory is handed on.
void finishStreaming();

}  // namespace veltrane
