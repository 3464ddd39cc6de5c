#pragma once
// Coverage of covered drawing: while a repaint walks a frame's operations
// from the last back, which pixels of the area being painted later drawing
// already sets opaquely, so that an operation lying wholly under them can
// be left out. Kept in the header so that the walk's many questions are
// answered inline.

#include "render/bytescan.h"
#include "render/rects.h"
#include "render/textcache.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quill {

// Which pixels of an area the drawing seen so far (walking a frame from its
// last operation back) sets to a colour of its own, whatever lay beneath:
// fills, copies and the solid part of text. Drawing that lies wholly on
// such pixels cannot show. One bit a pixel, 64 pixels a word, and a count
// of the pixels still uncovered per row, so that a covered row is passed
// over at once.
class Coverage {
public:
    explicit Coverage(const QRect& area)
        : m_area(area), m_words((area.width() + 63) / 64),
          m_bits(static_cast<std::size_t>(m_words) * static_cast<std::size_t>(area.height())),
          m_rowUncovered(static_cast<std::size_t>(area.height()), area.width()),
          m_uncovered(static_cast<long long>(area.width()) * area.height()) {}

    bool complete() const { return m_uncovered == 0; }

    // Every pixel of `r` (within the area) is covered.
    bool covers(const QRect& rect) const {
        const QRect r = clipped(rect, m_area);
        if (r.isEmpty() || m_uncovered == 0)
            return true;
        const Columns c(r.left() - m_area.left(), r.right() + 1 - m_area.left());
        for (int y = r.top() - m_area.top(); y <= r.bottom() - m_area.top(); ++y) {
            if (m_rowUncovered[static_cast<std::size_t>(y)] != 0 && !c.allSet(rowBits(y)))
                return false;
        }
        return true;
    }

    // Covers `rect`; false when it was covered already (nothing there can
    // show).
    bool addRect(const QRect& rect) {
        const QRect r = clipped(rect, m_area);
        if (r.isEmpty())
            return false;
        const Columns c(r.left() - m_area.left(), r.right() + 1 - m_area.left());
        bool added = false;
        for (int y = r.top() - m_area.top(); y <= r.bottom() - m_area.top(); ++y)
            added |= addColumns(y, c);
        return added;
    }

    // The pixels a mask at `at` paints with full coverage, within `clip`.
    void addSolidText(const TextRun& run, QPoint at, const QRect& clip) {
        const QRect dest = clipped(clipped(QRect(at, run.mask.size()), clip), m_area);
        if (dest.isEmpty())
            return;
        const int clipLeft = dest.left() - at.x(), clipRight = dest.right() + 1 - at.x();
        const int shift = at.x() - m_area.left();
        for (int y = dest.top(); y <= dest.bottom(); ++y) {
            const auto my = static_cast<std::size_t>(y - at.y());
            const int ay = y - m_area.top();
            if (m_rowUncovered[static_cast<std::size_t>(ay)] == 0)
                continue;
            const uchar* mrow = run.mask.constScanLine(static_cast<int>(my));
            for (std::uint32_t i = run.rowStart[my]; i < run.rowStart[my + 1]; ++i) {
                const int x1 = std::min(run.spans[i].second, clipRight);
                int x = std::max(run.spans[i].first, clipLeft);
                while (x < x1) {
                    const int begin = firstByte<true>(mrow, x, x1, 255);
                    x = firstByte<false>(mrow, begin, x1, 255);
                    if (begin < x)
                        addSpan(ay, begin + shift, x + shift);
                }
            }
        }
    }

private:
    // std::popcount is a library call where the processor's instruction
    // cannot be assumed; this is a few operations inline.
    static int bitCount(std::uint64_t v) {
        v = v - ((v >> 1) & 0x5555555555555555u);
        v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
        v = (v + (v >> 4)) & 0x0f0f0f0f0f0f0f0fu;
        return static_cast<int>((v * 0x0101010101010101u) >> 56);
    }
    // The words of a row that columns [x0, x1) reach, and the mask of
    // those columns in the first and the last of them (the same word when
    // there is one): worked out once for every row of a rectangle.
    struct Columns {
        Columns(int x0, int x1)
            : first(x0 / 64), last((x1 - 1) / 64), firstMask(~std::uint64_t(0) << (x0 % 64)),
              lastMask(~std::uint64_t(0) >> (63 - (x1 - 1) % 64)) {
            if (first == last)
                firstMask &= lastMask;
        }
        bool allSet(const std::uint64_t* row) const {
            if ((row[first] & firstMask) != firstMask)
                return false;
            if (first == last)
                return true;
            for (int w = first + 1; w < last; ++w)
                if (row[w] != ~std::uint64_t(0))
                    return false;
            return (row[last] & lastMask) == lastMask;
        }
        int first, last;
        std::uint64_t firstMask, lastMask;
    };
    std::uint64_t* rowBits(int y) {
        return m_bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_words);
    }
    const std::uint64_t* rowBits(int y) const {
        return m_bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_words);
    }
    // Pixels [x0, x1) of row y, in area coordinates.
    void addSpan(int y, int x0, int x1) {
        if (x0 < x1)
            addColumns(y, Columns(x0, x1));
    }
    bool addColumns(int y, const Columns& c) {
        int& left = m_rowUncovered[static_cast<std::size_t>(y)];
        if (left == 0)
            return false;
        std::uint64_t* row = rowBits(y);
        int added = 0;
        auto add = [&](int w, std::uint64_t mask) {
            if (const std::uint64_t fresh = mask & ~row[w]; fresh != 0) {
                added += bitCount(fresh);
                row[w] |= mask;
            }
        };
        add(c.first, c.firstMask);
        if (c.first != c.last) {
            for (int w = c.first + 1; w < c.last; ++w)
                add(w, ~std::uint64_t(0));
            add(c.last, c.lastMask);
        }
        left -= added;
        m_uncovered -= added;
        return added != 0;
    }

    QRect m_area;
    int m_words; // per row
    std::vector<std::uint64_t> m_bits;
    std::vector<int> m_rowUncovered;
    long long m_uncovered;
};

} // namespace quill
