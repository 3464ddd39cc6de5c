#include "render/textcomposite.h"

#include "render/rects.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUILL_AVX2_GROUPS 1
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
    _mm_storeu_si128(
        d, _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(static_cast<int>(0xFF000000u))));
}
#endif

#if defined(QUILL_AVX2_GROUPS)
// Groups of four pixels two at a time, one in each half of a 256-bit
// register: the same arithmetic as blendFour, lane by lane. Both are read
// before either is written, so two that share a pixel (the second leaving
// it be, at the end of a span) go one by one.
__attribute__((target("avx2"))) inline __m256i blendHalf8(__m256i src16, __m256i d16, __m256i a16) {
    const __m256i ia = _mm256_sub_epi16(_mm256_set1_epi16(255), a16);
    __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(src16, a16), _mm256_mullo_epi16(d16, ia));
    t = _mm256_add_epi16(t, _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

__attribute__((target("avx2"))) const TextRun::InkStep*
blendGroupPairs(QRgb* row, const TextRun::InkStep* step, const TextRun::InkStep* end, QRgb solid) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i src16 = _mm256_unpacklo_epi8(_mm256_set1_epi32(static_cast<int>(solid)), zero);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    for (; end - step >= 2; step += 2) {
        if (step[1].x - step[0].x < 4) {
            blendFour(row + step->x, step->alpha, solid);
            --step;
            continue;
        }
        auto* p0 = reinterpret_cast<__m128i*>(row + step[0].x);
        auto* p1 = reinterpret_cast<__m128i*>(row + step[1].x);
        const __m256i dst = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(p0)),
                                                    _mm_loadu_si128(p1), 1);
        __m256i a = _mm256_setr_epi32(static_cast<int>(step[0].alpha), 0, 0, 0,
                                      static_cast<int>(step[1].alpha), 0, 0, 0);
        a = _mm256_unpacklo_epi8(a, zero);
        a = _mm256_unpacklo_epi16(a, a);
        const __m256i lo =
            blendHalf8(src16, _mm256_unpacklo_epi8(dst, zero), _mm256_unpacklo_epi32(a, a));
        const __m256i hi =
            blendHalf8(src16, _mm256_unpackhi_epi8(dst, zero), _mm256_unpackhi_epi32(a, a));
        const __m256i out = _mm256_or_si256(_mm256_packus_epi16(lo, hi), opaque);
        _mm_storeu_si128(p0, _mm256_castsi256_si128(out));
        _mm_storeu_si128(p1, _mm256_extracti128_si256(out, 1));
    }
    return step;
}

bool hasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// One pixel by the scalar formula.
inline void blendOne(QRgb& pixel, std::uint32_t a, QRgb solid) {
    if (a != 0)
        pixel = a == 255 ? solid : interpolate255(solid, a, pixel) | 0xFF000000u;
}

// Puts ink of one colour through a coverage mask onto RGB32 pixels: solid
// coverage takes the colour, partial coverage blends, none leaves the pixel.
// One row of ink: pixels [0, n) of `row` against coverage `mask`.
inline void compositeRow(QRgb* row, const uchar* mask, int n, QRgb solid) {
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

} // namespace

void compositeCoverageRow(QRgb* row, const uchar* mask, int n, QRgb colour) {
    compositeRow(row, mask, n, colour | 0xFF000000u);
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

} // namespace

void compositeMask(QImage& target, const TextRun& run, QPoint at, QRgb colour, const QRect& clip,
                   bool whole) {
    compositeMask(PixelTarget{target.bits(), target.bytesPerLine(), target.rect()}, run, at, colour,
                  clip, whole);
}

void compositeMask(const PixelTarget& target, const TextRun& run, QPoint at, QRgb colour,
                   const QRect& clip, bool whole) {
    const QRect dest = clipped(clipped(QRect(at, run.mask.size()), target.rect), clip);
    if (dest.isEmpty())
        return;
    const QRgb solid = colour | 0xFF000000u;
    uchar* const bits = target.bits;
    const qsizetype stride = target.stride;
    const uchar* const maskBits = run.mask.constBits();
    const qsizetype maskStride = run.mask.bytesPerLine();
    const int clipLeft = dest.left() - at.x(), clipRight = dest.right() + 1 - at.x();
    const bool stepped = whole ? run.prepareSteps() : !run.rowSteps.empty();
#if defined(QUILL_AVX2_GROUPS)
    const bool avx2 = hasAvx2();
#endif
    for (int y = dest.top(); y <= dest.bottom(); ++y) {
        const auto my = static_cast<std::size_t>(y - at.y());
        const std::uint32_t first = run.rowStart[my], last = run.rowStart[my + 1];
        if (first == last)
            continue;
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride) + at.x();
        if (stepped && run.spans[first].first >= clipLeft &&
            run.spans[last - 1].second <= clipRight) {
            // The whole row's ink: its steps, kind by kind, without reading
            // the coverage.
            const TextRun::InkStep* step = run.steps.data() + run.rowSteps[3 * my];
            const TextRun::InkStep* const runsEnd = run.steps.data() + run.rowSteps[3 * my + 1];
            const TextRun::InkStep* const groupsEnd = run.steps.data() + run.rowSteps[3 * my + 2];
            const TextRun::InkStep* const endsEnd = run.steps.data() + run.rowSteps[3 * my + 3];
            for (; step != runsEnd; ++step)
                fillRow(row + step->x, step->count, solid);
#if defined(QUILL_AVX2_GROUPS)
            if (avx2)
                step = blendGroupPairs(row, step, groupsEnd, solid);
#endif
            for (; step != groupsEnd; ++step) {
#if defined(__SSE2__)
                blendFour(row + step->x, step->alpha, solid);
#else
                for (int k = 0; k < 4; ++k)
                    blendOne(row[step->x + k], (step->alpha >> (8 * k)) & 0xFF, solid);
#endif
            }
            for (; step != endsEnd; ++step)
                for (int k = 0; k < step->count; ++k)
                    blendOne(row[step->x + k], (step->alpha >> (8 * k)) & 0xFF, solid);
            continue;
        }
        const uchar* mrow = maskBits + static_cast<qsizetype>(my) * maskStride;
        for (std::uint32_t i = first; i < last; ++i) {
            const int x0 = std::max(run.spans[i].first, clipLeft);
            const int x1 = std::min(run.spans[i].second, clipRight);
            if (x0 < x1)
                compositeRow(row + x0, mrow + x0, x1 - x0, solid);
        }
    }
}

} // namespace quill
