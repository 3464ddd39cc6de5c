#include "render/textcache.h"

#include "render/bytescan.h"
#include "render/glyphoutlines.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <functional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

namespace {
// The steps that composite mask row `line`'s span [begin, end) as
// compositing the span pixel by pixel does (see textcomposite.cpp): bare
// pixels are left, solid ones take the colour, and the others blend, four
// at a time from the span's start and one at a time in its last n % 4. A
// group of four may take in bare and solid pixels (which blending leaves
// and colours exactly) but no pixel another step draws: those count as
// bare in its coverage.
struct RowSteps {
    std::vector<TextRun::InkStep> runs, groups, ends;
};

TextRun::InkStep step(int x, int count, std::uint32_t alpha) {
    return {static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(count), alpha};
}

void addSteps(RowSteps& out, const uchar* line, int begin, int end) {
    const int bodyEnd = begin + (end - begin) / 4 * 4;
    int covered = begin; // pixels before this have their step
    int x = begin;
    while (x < end) {
        const uchar a = line[x];
        if (a == 0) {
            ++x;
        } else if (a == 255) {
            const int from = x;
            while (x < end && line[x] == 255)
                ++x;
            for (int at = from; at < x; at += TextRun::MaxStepWidth)
                out.runs.push_back(step(at, std::min(x - at, TextRun::MaxStepWidth), 0));
            covered = x;
        } else if (x >= bodyEnd) {
            std::uint32_t alpha = 0;
            for (int k = x; k < end; ++k)
                alpha |= static_cast<std::uint32_t>(line[k]) << (8 * (k - x));
            out.ends.push_back(step(x, end - x, alpha));
            covered = x = end;
        } else {
            const int g = std::min(x, bodyEnd - 4);
            std::uint32_t alpha = 0;
            for (int k = std::max(g, covered); k < g + 4; ++k)
                alpha |= static_cast<std::uint32_t>(line[k]) << (8 * (k - g));
            out.groups.push_back(step(g, 4, alpha));
            covered = x = g + 4;
        }
    }
}

// A rendered text is mostly bare: the rows above and below the ink, the
// margins, the gaps between letters. These find the ink sixteen bytes at a
// time.

#if defined(__SSE2__)
// One bit a byte of the four pixels at `p`, set for the bytes of a pixel
// with no alpha.
int bareBytes(const QRgb* p) {
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(v, alpha), _mm_setzero_si128()));
}
#endif

// The first pixel of `line` with any alpha, or `width`.
int firstInked(const QRgb* line, int width) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= width; x += 4)
        if (const int bare = bareBytes(line + x); bare != 0xffff)
            return x + __builtin_ctz(~bare & 0xffff) / 4;
#endif
    while (x < width && (line[x] >> 24) == 0)
        ++x;
    return x;
}

// The last pixel of `line` before `width` with any alpha; the row has one.
int lastInked(const QRgb* line, int width) {
    int x = width;
#if defined(__SSE2__)
    for (; x >= 4; x -= 4)
        if (const int bare = bareBytes(line + x - 4); bare != 0xffff)
            return x - 4 + (31 - __builtin_clz(static_cast<unsigned>(~bare & 0xffff))) / 4;
#endif
    do
        --x;
    while ((line[x] >> 24) == 0);
    return x;
}

// The alpha bytes of `n` premultiplied pixels.
void alphaOf(const QRgb* from, uchar* to, int n) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= n; x += 16) {
        auto at = [&](int k) {
            return _mm_srli_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + 4 * k)), 24);
        };
        const __m128i low = _mm_packs_epi32(at(0), at(1));
        const __m128i high = _mm_packs_epi32(at(2), at(3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), _mm_packus_epi16(low, high));
    }
#endif
    for (; x < n; ++x)
        to[x] = static_cast<uchar>(from[x] >> 24);
}

} // namespace

bool TextRun::prepareSteps() const {
    if (!rowSteps.empty())
        return true;
    if (mask.width() > MaxStepWidth || mask.isNull())
        return false;
    const auto rows = static_cast<std::size_t>(mask.height());
    rowSteps.reserve(3 * rows + 1);
    RowSteps row;
    for (std::size_t y = 0; y < rows; ++y) {
        row.runs.clear();
        row.groups.clear();
        row.ends.clear();
        const uchar* line = mask.constScanLine(static_cast<int>(y));
        for (std::uint32_t i = rowStart[y]; i < rowStart[y + 1]; ++i)
            addSteps(row, line, spans[i].first, spans[i].second);
        for (const auto* part : {&row.runs, &row.groups, &row.ends}) {
            rowSteps.push_back(static_cast<std::uint32_t>(steps.size()));
            steps.insert(steps.end(), part->begin(), part->end());
        }
    }
    rowSteps.push_back(static_cast<std::uint32_t>(steps.size()));
    return true;
}

std::size_t TextCache::KeyHash::operator()(const Key& k) const {
    std::size_t h = std::hash<std::string>{}(k.text);
    auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(std::hash<std::string>{}(k.font.face));
    mix(static_cast<std::size_t>(k.font.pixelSize));
    mix(static_cast<std::size_t>(k.font.bold) * 2u + static_cast<std::size_t>(k.font.italic));
    return h;
}

TextCache::TextCache(std::size_t byteBudget) : m_budget(byteBudget) {}

// Runs can outlive the cache (a frame still holds them): clearing lets go
// of them, so that none thinks it is still held.
TextCache::~TextCache() {
    clear();
}

void TextCache::clear() {
    for (auto& [key, entry] : m_entries)
        entry.run->keptBy = nullptr;
    m_entries.clear();
    m_lru.clear();
    m_bytes = 0;
    ++m_generation;
}

std::shared_ptr<const TextRun> TextCache::render(const CanvasFont& font, const std::string& text) {
    auto out = std::make_shared<TextRun>();
    out->font = font;
    out->text = text;
    if (text.empty())
        return out;
    const QFont qf = makeQFont(font);
    const QFontMetrics fm(qf);
    const QString str = fromLatin1(text);
    // Ink bounds relative to the baseline origin, with a margin for the
    // antialiased fringe and for glyphs that overhang their advance.
    const int margin = 2 + font.pixelSize / 8;
    QRect ink = fm.boundingRect(str);
    ink = ink.united(QRect(0, -fm.ascent(), fm.horizontalAdvance(str), fm.height()));
    ink.adjust(-margin, -margin, margin, margin);
    if (ink.width() <= 0 || ink.height() <= 0)
        return out;
    // Small text goes through Qt's glyph cache; larger text is filled from
    // its outlines (render/glyphoutlines.h), which Qt's own drawing would
    // take from a font face other sizes leave moved. Qt's rasteriser gives
    // an edge pixel a grey level or two more or less depending on where the
    // path lies in the picture and on the picture's height, so the outline
    // is filled where and in the picture drawText fills it.
    QPainterPath outline;
    const bool outlined = font.pixelSize > LargestCachedGlyphPixels;
    if (outlined) {
        outline = canvasTextOutline(qf, str, QPointF(-ink.left(), -ink.top()));
        const QRect reach = outline.controlPointRect().toAlignedRect().adjusted(-1, -1, 1, 1);
        if (!QRect(QPoint(0, 0), ink.size()).contains(reach)) {
            // A glyph beyond what the font's metrics say.
            const QRect grown = ink.united(reach.translated(ink.topLeft()));
            outline.translate(ink.left() - grown.left(), ink.top() - grown.top());
            ink = grown;
        }
    }
    QImage img(ink.size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        if (outlined) {
            p.setRenderHint(QPainter::Antialiasing, true);
            p.fillPath(outline, Qt::black);
        } else {
            p.setRenderHint(QPainter::TextAntialiasing, true);
            p.setFont(qf);
            p.setPen(Qt::black);
            p.drawText(QPoint(-ink.left(), -ink.top()), str);
        }
    }
    // Trim fully transparent borders so compositing touches only ink: find
    // the inked columns of every row in one pass over the alpha bytes.
    const int iw = img.width(), ih = img.height();
    int top = -1, bottom = -1, left = iw, right = -1;
    for (int y = 0; y < ih; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        const int first = firstInked(line, iw);
        if (first == iw)
            continue;
        const int last = lastInked(line, iw);
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    if (top < 0)
        return out;
    const int w = right - left + 1;
    out->mask = QImage(w, bottom - top + 1, QImage::Format_Alpha8);
    out->maskSize = out->mask.size();
    out->maskBytes = static_cast<std::size_t>(out->mask.sizeInBytes());
    constexpr int MaxGap = 8; // cheaper to walk over than to start a new span
    out->rowStart.reserve(static_cast<std::size_t>(out->mask.height()) + 1);
    for (int y = 0; y < out->mask.height(); ++y) {
        out->rowStart.push_back(static_cast<std::uint32_t>(out->spans.size()));
        const auto* from = reinterpret_cast<const QRgb*>(img.constScanLine(top + y)) + left;
        uchar* const line = out->mask.scanLine(y);
        alphaOf(from, line, w);
        int x = 0;
        while (x < w) {
            x = firstByte<false>(line, x, w, 0);
            if (x == w)
                break;
            // The span runs on over gaps shorter than MaxGap.
            const int begin = x;
            int end = x;
            while (x < w) {
                end = firstByte<true>(line, x, w, 0);
                const int gapEnd = std::min(w, end + MaxGap);
                x = firstByte<false>(line, end, gapEnd, 0);
                if (x == gapEnd)
                    break;
            }
            out->spans.emplace_back(begin, end);
            x = end;
        }
    }
    out->rowStart.push_back(static_cast<std::uint32_t>(out->spans.size()));
    // Offset from the text's top-left corner (the baseline is ascent below it).
    out->offset = QPoint(ink.left() + left, ink.top() + fm.ascent() + top);
    return out;
}

std::shared_ptr<const TextRun> TextCache::run(const CanvasFont& font, const std::string& text) {
    Key key{font, text};
    auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        m_lru.splice(m_lru.begin(), m_lru, it->second.run->usePlace);
        return it->second.run;
    }
    ++m_misses;
    auto rendered = render(font, text);
    insert(std::move(key), rendered);
    return rendered;
}

void TextCache::keep(const std::shared_ptr<const TextRun>& run) {
    if (run->keptBy == this) {
        m_lru.splice(m_lru.begin(), m_lru, run->usePlace);
        return;
    }
    Key key{run->font, run->text};
    auto it = m_entries.find(key);
    if (it != m_entries.end()) { // the same text rendered again since
        m_lru.splice(m_lru.begin(), m_lru, it->second.run->usePlace);
        return;
    }
    insert(std::move(key), run);
}

void TextCache::insert(Key key, const std::shared_ptr<const TextRun>& run) {
    const std::size_t bytes = run->maskBytes + run->spans.size() * sizeof(run->spans[0]) +
                              run->rowStart.size() * sizeof(std::uint32_t) + run->text.size() + 128;
    if (bytes > m_budget)
        return; // too large to keep; used once
    evictTo(m_budget - bytes);
    m_lru.push_front(run.get());
    run->keptBy = this;
    run->usePlace = m_lru.begin();
    m_entries.emplace(std::move(key), Entry{run, bytes});
    m_bytes += bytes;
}

void TextCache::evictTo(std::size_t budget) {
    while (m_bytes > budget && !m_lru.empty()) {
        const TextRun* oldest = m_lru.back();
        oldest->keptBy = nullptr;
        auto it = m_entries.find(Key{oldest->font, oldest->text});
        m_bytes -= it->second.bytes;
        m_entries.erase(it);
        m_lru.pop_back();
    }
}

} // namespace quill
