#pragma once
// Rectangle tests for the drawing code's inner loops: QRect's own are not
// inlined, and these run for every recorded operation.

#include <QRect>
#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

inline bool overlaps(const QRect& a, const QRect& b) {
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() &&
           b.top() <= a.bottom() && !a.isEmpty() && !b.isEmpty();
}

// The intersection; empty (not necessarily QRect()) when there is none.
inline QRect clipped(const QRect& a, const QRect& b) {
    return QRect(QPoint(std::max(a.left(), b.left()), std::max(a.top(), b.top())),
                 QPoint(std::min(a.right(), b.right()), std::min(a.bottom(), b.bottom())));
}

// The last of rects[first, end) that overlaps `a`, or `first - 1` (wrapping)
// when none does. The rectangles and `a` are not empty. A repaint of a small
// region looks through hundreds of thousands of pieces for the few that
// reach it: one comparison of four lanes each.
inline std::size_t lastOverlapping(const QRect* rects, std::size_t first, std::size_t end,
                                   const QRect& a) {
#if defined(__SSE2__)
    static_assert(sizeof(QRect) == 4 * sizeof(int), "a QRect is its four edges");
    // Lanes: left, top, right, bottom. A piece overlaps when its left and
    // top are at most a's right and bottom, and its right and bottom at
    // least a's left and top: with the last two negated, all four "at most".
    const __m128i negate = _mm_set_epi32(-1, -1, 0, 0);
    const __m128i limit = _mm_set_epi32(-a.top(), -a.left(), a.bottom(), a.right());
    for (std::size_t k = end; k-- > first;) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rects + k));
        v = _mm_sub_epi32(_mm_xor_si128(v, negate), negate);
        if (_mm_movemask_epi8(_mm_cmpgt_epi32(v, limit)) == 0)
            return k;
    }
    return first - 1;
#else
    for (std::size_t k = end; k-- > first;)
        if (overlaps(rects[k], a))
            return k;
    return first - 1;
#endif
}

} // namespace quill
