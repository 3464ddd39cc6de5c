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
// such pixels cannot show. Counted per 16 x 16 tile, so that most questions
// are answered without looking at single pixels.
class Coverage {
public:
    explicit Coverage(const QRect& area)
        : m_area(area), m_tilesX((area.width() + TileSize - 1) / TileSize),
          m_tilesY((area.height() + TileSize - 1) / TileSize),
          m_blocksX((m_tilesX + BlockTiles - 1) / BlockTiles),
          m_pixels(static_cast<std::size_t>(area.width()) *
                   static_cast<std::size_t>(area.height())),
          m_tileCount(static_cast<std::size_t>(m_tilesX) * static_cast<std::size_t>(m_tilesY)),
          m_blockFull(static_cast<std::size_t>(m_blocksX) *
                      static_cast<std::size_t>((m_tilesY + BlockTiles - 1) / BlockTiles)),
          m_uncovered(static_cast<long long>(area.width()) * area.height()) {}

    bool complete() const { return m_uncovered == 0; }

    // Every pixel of `r` (within the area) is covered.
    bool covers(const QRect& rect) const {
        const QRect r = clipped(rect, m_area);
        if (r.isEmpty())
            return true;
        const int x0 = r.left() - m_area.left(), x1 = r.right() - m_area.left();
        const int y0 = r.top() - m_area.top(), y1 = r.bottom() - m_area.top();
        const int tx0 = x0 / TileSize, tx1 = x1 / TileSize;
        const int ty0 = y0 / TileSize, ty1 = y1 / TileSize;
        for (int by = ty0 / BlockTiles; by <= ty1 / BlockTiles; ++by) {
            for (int bx = tx0 / BlockTiles; bx <= tx1 / BlockTiles; ++bx) {
                if (m_blockFull[blockIndex(bx, by)] == blockCapacity(bx, by))
                    continue;
                const int tyEnd = std::min(ty1, by * BlockTiles + BlockTiles - 1);
                const int txEnd = std::min(tx1, bx * BlockTiles + BlockTiles - 1);
                for (int ty = std::max(ty0, by * BlockTiles); ty <= tyEnd; ++ty)
                    for (int tx = std::max(tx0, bx * BlockTiles); tx <= txEnd; ++tx)
                        if (!tileCovers(tx, ty, x0, x1, y0, y1))
                            return false;
            }
        }
        return true;
    }

    void addRect(const QRect& rect) {
        const QRect r = clipped(rect, m_area);
        for (int y = r.top(); y <= r.bottom(); ++y)
            addSpan(y - m_area.top(), r.left() - m_area.left(), r.right() + 1 - m_area.left());
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
            const uchar* mrow = run.mask.constScanLine(static_cast<int>(my));
            const int ay = y - m_area.top();
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
    static constexpr int TileSize = 16;
    static constexpr int BlockTiles = 8; // blocks of 8 x 8 tiles

    std::size_t tileIndex(int tx, int ty) const {
        return static_cast<std::size_t>(ty) * static_cast<std::size_t>(m_tilesX) +
               static_cast<std::size_t>(tx);
    }
    int tileCapacity(int tx, int ty) const {
        return std::min(TileSize, m_area.width() - tx * TileSize) *
               std::min(TileSize, m_area.height() - ty * TileSize);
    }
    std::size_t blockIndex(int bx, int by) const {
        return static_cast<std::size_t>(by) * static_cast<std::size_t>(m_blocksX) +
               static_cast<std::size_t>(bx);
    }
    int blockCapacity(int bx, int by) const {
        return std::min(BlockTiles, m_tilesX - bx * BlockTiles) *
               std::min(BlockTiles, m_tilesY - by * BlockTiles);
    }
    // Every pixel of tile (tx, ty) within columns x0..x1 and rows y0..y1.
    bool tileCovers(int tx, int ty, int x0, int x1, int y0, int y1) const {
        if (m_tileCount[tileIndex(tx, ty)] == tileCapacity(tx, ty))
            return true;
        const int top = std::max(y0, ty * TileSize);
        const int bottom = std::min(y1, ty * TileSize + TileSize - 1);
        const int left = std::max(x0, tx * TileSize);
        const int right = std::min(x1, tx * TileSize + TileSize - 1);
        for (int y = top; y <= bottom; ++y)
            if (firstByte<true>(pixelRow(y), left, right + 1, 0) <= right)
                return false;
        return true;
    }
    std::uint8_t* pixelRow(int y) {
        return m_pixels.data() +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(m_area.width());
    }
    const std::uint8_t* pixelRow(int y) const {
        return m_pixels.data() +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(m_area.width());
    }
    // Pixels [x0, x1) of row y, in area coordinates.
    void addSpan(int y, int x0, int x1) {
        std::uint8_t* row = pixelRow(y);
        const int ty = y / TileSize;
        std::uint16_t* tiles = m_tileCount.data() + tileIndex(0, ty);
        while (x0 < x1) {
            // One tile's share of the span at a time.
            const int tx = x0 / TileSize;
            const int end = std::min(x1, tx * TileSize + TileSize);
            const int added = markBytes(row, x0, end);
            x0 = end;
            if (added == 0)
                continue;
            m_uncovered -= added;
            tiles[tx] = static_cast<std::uint16_t>(tiles[tx] + added);
            if (tiles[tx] == tileCapacity(tx, ty))
                ++m_blockFull[blockIndex(tx / BlockTiles, ty / BlockTiles)];
        }
    }

    QRect m_area;
    int m_tilesX, m_tilesY, m_blocksX;
    std::vector<std::uint8_t> m_pixels;     // 1 where covered
    std::vector<std::uint16_t> m_tileCount; // covered pixels per tile
    std::vector<std::uint8_t> m_blockFull;  // fully covered tiles per block
    long long m_uncovered;
};

} // namespace quill
