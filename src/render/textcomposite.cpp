#include "render/textcomposite.h"

#include "render/rects.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

namespace {

// src * a / 255 + dst * (255 - a) / 255 for each channel, two channels per
// multiplication.
inline std::uint32_t interpolate255(std::uint32_t src, std::uint32_t a, std::uint32_t dst) {
    const std::uint32_t ia = 255 - a;
    std::uint32_t rb = (src & 0xff00ff) * a + (dst & 0xff00ff) * ia;
    rb = (rb + ((rb >> 8) & 0xff00ff) + 0x800080) >> 8;
    std::uint32_t ag = ((src >> 8) & 0xff00ff) * a + ((dst >> 8) & 0xff00ff) * ia;
    ag = ag + ((ag >> 8) & 0xff00ff) + 0x800080;
    return (ag & 0xff00ff00) | (rb & 0x00ff00ff);
}

#if defined(__SSE2__)
// Four pixels against four coverage bytes (low byte first) by the vector
// formula; it leaves bare pixels and colours solid ones exactly.
inline void blendFour(QRgb* row, std::uint32_t a4, QRgb solid) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i src16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(solid)), zero);
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i c128 = _mm_set1_epi16(128);
    auto blendHalf = [&](__m128i d16, __m128i a16) {
        const __m128i ia = _mm_sub_epi16(c255, a16);
        __m128i t = _mm_add_epi16(_mm_mullo_epi16(src16, a16), _mm_mullo_epi16(d16, ia));
        t = _mm_add_epi16(t, c128);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    auto* d = reinterpret_cast<__m128i*>(row);
    const __m128i dst = _mm_loadu_si128(d);
    __m128i a = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(a4)), zero);
    a = _mm_unpacklo_epi16(a, a);
    const __m128i lo = blendHalf(_mm_unpacklo_epi8(dst, zero), _mm_unpacklo_epi32(a, a));
    const __m128i hi = blendHalf(_mm_unpackhi_epi8(dst, zero), _mm_unpackhi_epi32(a, a));
    _mm_storeu_si128(d, _mm_or_si128(_mm_packus_epi16(lo, hi),
                                     _mm_set1_epi32(static_cast<int>(0xFF000000u))));
}
#endif

// One pixel by the scalar formula.
inline void blendOne(QRgb& pixel, std::uint32_t a, QRgb solid) {
    if (a != 0)
        pixel = a == 255 ? solid : interpolate255(solid, a, pixel) | 0xFF000000u;
}

} // namespace

// Puts ink of one colour through a coverage mask onto RGB32 pixels: solid
// coverage takes the colour, partial coverage blends, none leaves the pixel.
void compositeCoverageRow(QRgb* row, const uchar* mask, int n, QRgb colour) {
    const QRgb solid = colour | 0xFF000000u;
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i solid4 = _mm_set1_epi32(static_cast<int>(solid));
    const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
    // Four pixels against their four bytes of coverage.
    auto blend4 = [&](int at) {
        std::uint32_t a4;
        std::memcpy(&a4, mask + at, 4);
        if (a4 == 0)
            return;
        if (a4 == 0xFFFFFFFFu) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + at), solid4);
            return;
        }
        blendFour(row + at, a4, solid);
    };
    // Sixteen pixels at once where they are all bare or all solid, as most
    // of a glyph's box is; the rest four at a time.
    for (; x + 16 <= n; x += 16) {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + x));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(m, zero)) == 0xFFFF)
            continue;
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(m, ones)) == 0xFFFF) {
            auto* d = reinterpret_cast<__m128i*>(row + x);
            _mm_storeu_si128(d, solid4);
            _mm_storeu_si128(d + 1, solid4);
            _mm_storeu_si128(d + 2, solid4);
            _mm_storeu_si128(d + 3, solid4);
            continue;
        }
        blend4(x);
        blend4(x + 4);
        blend4(x + 8);
        blend4(x + 12);
    }
    for (; x + 4 <= n; x += 4)
        blend4(x);
#endif
    for (; x < n; ++x)
        blendOne(row[x], mask[x], solid);
}

namespace {

// Pixels [0, n) of `row` take the colour.
inline void fillRow(QRgb* row, int n, QRgb solid) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i solid4 = _mm_set1_epi32(static_cast<int>(solid));
    for (; x + 16 <= n; x += 16) {
        auto* d = reinterpret_cast<__m128i*>(row + x);
        _mm_storeu_si128(d, solid4);
        _mm_storeu_si128(d + 1, solid4);
        _mm_storeu_si128(d + 2, solid4);
        _mm_storeu_si128(d + 3, solid4);
    }
    for (; x + 4 <= n; x += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), solid4);
    if (x < n && n >= 4) { // the last few: four again, over some already filled
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + n - 4), solid4);
        x = n;
    }
#endif
    for (; x < n; ++x)
        row[x] = solid;
}

// A whole span by its steps: what compositeRow does to it, without reading
// its coverage.
inline void compositeSteps(QRgb* row, const TextRun::InkStep* step, const TextRun::InkStep* end,
                           QRgb solid) {
    for (; step != end; ++step) {
        QRgb* const at = row + step->x;
        if (step->count > 0) {
            fillRow(at, step->count, solid);
        } else if (step->count == 0) {
#if defined(__SSE2__)
            blendFour(at, step->alpha, solid);
#else
            for (int k = 0; k < 4; ++k)
                blendOne(at[k], (step->alpha >> (8 * k)) & 0xFF, solid);
#endif
        } else {
            for (int k = 0; k < -step->count; ++k)
                blendOne(at[k], (step->alpha >> (8 * k)) & 0xFF, solid);
        }
    }
}

} // namespace

void compositeMask(QImage& target, const TextRun& run, QPoint at, QRgb colour, const QRect& clip) {
    const QRect dest = clipped(clipped(QRect(at, run.mask.size()), target.rect()), clip);
    if (dest.isEmpty())
        return;
    const QRgb solid = colour | 0xFF000000u;
    uchar* const bits = target.bits();
    const qsizetype stride = target.bytesPerLine();
    const uchar* const maskBits = run.mask.constBits();
    const qsizetype maskStride = run.mask.bytesPerLine();
    const int clipLeft = dest.left() - at.x(), clipRight = dest.right() + 1 - at.x();
    for (int y = dest.top(); y <= dest.bottom(); ++y) {
        const auto my = static_cast<std::size_t>(y - at.y());
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride) + at.x();
        const uchar* mrow = maskBits + static_cast<qsizetype>(my) * maskStride;
        for (std::uint32_t i = run.rowStart[my]; i < run.rowStart[my + 1]; ++i) {
            const int begin = run.spans[i].first, end = run.spans[i].second;
            if (begin >= clipLeft && end <= clipRight) {
                compositeSteps(row, run.steps.data() + run.spanSteps[i],
                               run.steps.data() + run.spanSteps[i + 1], solid);
                continue;
            }
            const int x0 = std::max(begin, clipLeft);
            const int x1 = std::min(end, clipRight);
            if (x0 < x1)
                compositeCoverageRow(row + x0, mrow + x0, x1 - x0, solid);
        }
    }
}

} // namespace quill
