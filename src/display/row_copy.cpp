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

RowStores rowStoresFor(const LockedSurface& locked) {
    const std::int64_t bytes = std::int64_t{locked.pitch} * locked.height;
    return bytes >= STREAMING_SURFACE_BYTES ? RowStores::Streaming : RowStores::Cached;
}

void copyRow(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes,
             RowStores stores) {
#if VELTRANE_STREAMING_STORES
    if (stores == RowStores::Streaming) {
        // Streaming stores need 16-byte aligned targets: the bytes before the
        // first boundary and after the last whole block go the ordinary way.
        constexpr std::size_t BLOCK = 16;
        const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(target) % BLOCK;
        const std::size_t head = std::min(bytes, (BLOCK - misalignment) % BLOCK);
        std::memcpy(target, source, head);
        std::size_t done = head;
        for (; bytes - done >= BLOCK; done += BLOCK) {
            const __m128i block =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + done));
            _mm_stream_si128(reinterpret_cast<__m128i*>(target + done), block);
        }
        std::memcpy(target + done, source + done, bytes - done);
        // Streaming stores are weakly ordered: fence them before anything
        // else (the unlock, a flip, another thread) can look at the row.
        _mm_sfence();
        return;
    }
#else
    (void)stores;
#endif
    std::memcpy(target, source, bytes);
}

}  // namespace veltrane
