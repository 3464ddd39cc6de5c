#pragma once
// A byte search for the drawing code's inner loops, sixteen bytes at a time
// where the processor has SSE2: the ink of rendered text, and its solid
// pixels, which cover what lies beneath.

#include <QtGlobal>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

// The first x in [x, end) at which line[x] is `value` (Equal) or is not
// (!Equal); `end` if there is none.
template <bool Equal> inline int firstByte(const uchar* line, int x, int end, uchar value) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    for (; x + 16 <= end; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
        const int same = _mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted));
        if (const int hits = Equal ? same : ~same & 0xffff; hits != 0)
            return x + __builtin_ctz(static_cast<unsigned>(hits));
    }
#endif
    while (x < end && (line[x] == value) != Equal)
        ++x;
    return x;
}

} // namespace quill
