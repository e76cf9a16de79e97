#include "display/row_copy.h"

#include <cstring>

// SSE2 is part of every x86-64 processor; elsewhere (or on 32-bit x86
// builds without it) the plain memcpy below is all there is.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define VELTRANE_HAVE_STREAMING_STORES 1
#else
#define VELTRANE_HAVE_STREAMING_STORES 0
#endif

namespace veltrane {
namespace {

#if VELTRANE_HAVE_STREAMING_STORES
constexpr std::size_t VECTOR_BYTES = 16;
// Below this a row is not worth the head and tail it needs.
constexpr std::size_t SHORTEST_STREAMED_ROW = 4 * VECTOR_BYTES;

void streamRow(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    // Streaming stores need 16-byte aligned targets: the bytes before the
    // first aligned address, and after the last whole vector, go the usual way.
    const auto address = reinterpret_cast<std::uintptr_t>(target);
    const std::size_t head = (VECTOR_BYTES - address % VECTOR_BYTES) % VECTOR_BYTES;
    std::memcpy(target, source, head);
    std::size_t done = head;
    for (; done + VECTOR_BYTES <= bytes; done += VECTOR_BYTES) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + done));
        _mm_stream_si128(reinterpret_cast<__m128i*>(target + done), chunk);
    }
    std::memcpy(target + done, source + done, bytes - done);
}

#endif

}  // namespace

bool shouldStreamInto(const LockedSurface& locked) {
    if (!VELTRANE_HAVE_STREAMING_STORES) return false;
    const std::int64_t bytes = static_cast<std::int64_t>(locked.pitch) * locked.height;
    return bytes >= STREAMING_SURFACE_BYTES;
}

void copyRow(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes, bool streaming) {
#if VELTRANE_HAVE_STREAMING_STORES
    if (streaming && bytes >= SHORTEST_STREAMED_ROW) {
        streamRow(target, source, bytes);
        return;
    }
#endif
    (void)streaming;
    std::memcpy(target, source, bytes);
}

void finishStreaming() {
#if VELTRANE_HAVE_STREAMING_STORES
    _mm_sfence();
#endif
}

}  // namespace veltrane
