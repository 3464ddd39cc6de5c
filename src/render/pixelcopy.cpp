#include "render/pixelcopy.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

void copyPixelsStreamed(const QRgb* from, QRgb* to, int n) {
    int x = 0;
#if defined(__SSE2__)
    // Up to the first 16-byte boundary of the destination one by one, then
    // four pixels a store.
    while (x < n && (reinterpret_cast<std::uintptr_t>(to + x) & 15) != 0) {
        to[x] = from[x];
        ++x;
    }
    for (; x + 16 <= n; x += 16) {
        const auto* s = reinterpret_cast<const __m128i*>(from + x);
        auto* d = reinterpret_cast<__m128i*>(to + x);
        const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
        const __m128i c = _mm_loadu_si128(s + 2), e = _mm_loadu_si128(s + 3);
        _mm_stream_si128(d, a);
        _mm_stream_si128(d + 1, b);
        _mm_stream_si128(d + 2, c);
        _mm_stream_si128(d + 3, e);
    }
#endif
    if (x < n)
        std::memcpy(to + x, from + x, static_cast<std::size_t>(n - x) * sizeof(QRgb));
}

void finishStreamedCopies() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

} // namespace quill
