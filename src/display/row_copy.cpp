#include "display/row_copy.h"

#include <algorithm>
#include <cstring>

// SSE2 is part of every x86-64 processor; its streaming store is the one
// intrinsic here, with memcpy as the fallback everywhere else.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VELTRANE_STREAMING_STORES 1
#else
#define VELTRANE_STREAMING_STORES 0
#endif

namespace veltrane {
namespace {

#if VELTRANE_STREAMING_STORES
constexpr std::size_t BLOCK = 16;      // one streaming store, which must be aligned to it
constexpr std::size_t LINE = 4 * BLOCK;  // a cache line: four loads, then its four stores

void copyStreaming(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    // The bytes before the first 16-byte boundary and after the last whole
    // block go the ordinary way.
    const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(target) % BLOCK;
    const std::size_t head = std::min(bytes, (BLOCK - misalignment) % BLOCK);
    std::memcpy(target, source, head);
    std::size_t done = head;
    const auto load = [&](std::size_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + at));
    };
    const auto store = [&](std::size_t at, __m128i block) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(target + at), block);
    };
    // Loading a line's worth before storing it keeps the stores of a line
    // together; one load and one store at a time ran about a third slower.
    for (; bytes - done >= LINE; done += LINE) {
        const __m128i a = load(done);
        const __m128i b = load(done + BLOCK);
        const __m128i c = load(done + 2 * BLOCK);
        const __m128i d = load(done + 3 * BLOCK);
        store(done, a);
        store(done + BLOCK, b);
        store(done + 2 * BLOCK, c);
        store(done + 3 * BLOCK, d);
    }
    for (; bytes - done >= BLOCK; done += BLOCK) store(done, load(done));
    std::memcpy(target + done, source + done, bytes - done);
}
#endif

}  // namespace

RowStores rowStoresFor(const LockedSurface& locked) {
    const std::int64_t bytes = std::int64_t{locked.pitch} * locked.height;
    return bytes >= STREAMING_SURFACE_BYTES ? RowStores::Streaming : RowStores::Cached;
}

void copyRow(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes,
             RowStores stores) {
#if VELTRANE_STREAMING_STORES
    if (stores == RowStores::Streaming) {
        copyStreaming(target, source, bytes);
        return;
    }
#else
    (void)stores;
#endif
    std::memcpy(target, source, bytes);
}

void copyPixelRows(const LockedSurface& target, const LockedSurface& source) {
    const RowStores stores = rowStoresFor(target);
    const auto rowBytes = static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.pixelStep());
    for (std::int32_t y = 0; y < source.height; ++y) copyRow(target.row(y), source.row(y), rowBytes, stores);
    finishRowCopies(stores);
}

void finishRowCopies(RowStores stores) {
#if VELTRANE_STREAMING_STORES
    if (stores == RowStores::Streaming) _mm_sfence();
#else
    (void)stores;
#endif
}

}  // namespace veltrane
