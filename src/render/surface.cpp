#include "render/surface.h"

#include <QPainter>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <cmath>

namespace quill {

namespace {
int roundPixel(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}
// Past this many rectangles, or this share of the surface, an area is
// treated as the whole surface.
constexpr std::size_t MaxAreaRects = 256;
constexpr double WholeSurfaceShare = 0.6;
// Text is cached as a rendered mask only up to these sizes.
constexpr int MaxCachedPixelSize = 1024;
constexpr double MaxCachedTextPixels = 16.0 * 1024 * 1024;
// QRect's own intersection tests are not inlined; these run for every
// recorded operation.
inline bool overlaps(const QRect& a, const QRect& b) {
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() &&
           b.top() <= a.bottom() && !a.isEmpty() && !b.isEmpty();
}
inline QRect clipped(const QRect& a, const QRect& b) {
    return QRect(QPoint(std::max(a.left(), b.left()), std::max(a.top(), b.top())),
                 QPoint(std::min(a.right(), b.right()), std::min(a.bottom(), b.bottom())));
}
// Frame serials are unique across surfaces, so a run's stamp can never be
// mistaken for another surface's frame.
std::uint64_t newFrameSerial() {
    static std::uint64_t last = 0;
    return ++last;
}
} // namespace

void Surface::Area::add(const QRect& r, const QRect& bounds) {
    if (all)
        return;
    if (!rects.empty() && rects.back().contains(r))
        return;
    rects.push_back(r);
    pixels += static_cast<long long>(r.width()) * r.height();
    const auto whole = static_cast<long long>(bounds.width()) * bounds.height();
    if (rects.size() > MaxAreaRects ||
        static_cast<double>(pixels) > WholeSurfaceShare * static_cast<double>(whole))
        addAll();
}

Surface::Surface(QSize size, BgrColour background)
    : m_image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32), m_background(background) {
    m_imageRect = m_image.rect();
    m_image.fill(bgrToRgb(m_background));
    m_damage.addAll();
}

Surface::~Surface() {
    endPainting();
}

const QImage& Surface::image() const {
    endPainting();
    return m_image;
}

QPainter& Surface::painter() {
    if (!m_painter)
        m_painter = std::make_unique<QPainter>(&m_image);
    return *m_painter;
}

void Surface::endPainting() const {
    m_painter.reset();
}

void Surface::touched(const QRect& r) {
    const QRect c = r.intersected(m_imageRect);
    if (c.isEmpty())
        return;
    m_inked.add(c, m_imageRect);
    m_damage.add(c, m_imageRect);
}

void Surface::resize(QSize size) {
    size = size.expandedTo(QSize(1, 1));
    if (size == m_image.size())
        return;
    endPainting();
    QImage next(size, QImage::Format_RGB32);
    next.fill(bgrToRgb(m_background));
    {
        QPainter p(&next);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, m_image);
    }
    m_image = std::move(next);
    m_imageRect = m_image.rect();
    m_inked.addAll();
    m_damage.addAll();
    m_lastValid = false;
}

void Surface::setFontName(const std::string& face) {
    if (m_font.face != face) {
        m_font.face = face;
        m_metrics.reset();
    }
}
void Surface::setFontBold(bool b) {
    if (m_font.bold != b) {
        m_font.bold = b;
        m_metrics.reset();
    }
}
void Surface::setFontItalic(bool i) {
    if (m_font.italic != i) {
        m_font.italic = i;
        m_metrics.reset();
    }
}
void Surface::setFontSize(double points) {
    const int px = pointsToPixels(points);
    if (m_font.pixelSize != px) {
        m_font.pixelSize = px;
        m_metrics.reset();
    }
}

QFontMetricsF& Surface::metrics() {
    if (!m_metrics)
        m_metrics.emplace(makeQFont(m_font));
    return *m_metrics;
}

// Forgets everything recorded for the frame so far: a frame starts, or a
// clear inside one starts it again.
void Surface::restartFrame() {
    m_frameOps.clear();
    m_framePieces.clear();
    m_framePrinted.clear();
    m_frameGeneration = m_textCache.generation();
    m_frameSources.clear();
    m_frameRuns.clear();
    m_framePlain.clear();
    m_framePinnedBytes = 0;
    m_frameSerial = newFrameSerial();
}

void Surface::cls() {
    if (inFrame()) {
        restartFrame();
    } else if (m_inked.all || !m_lastOps.empty()) {
        // The last frame's drawing is not among the areas remembered here.
        endPainting();
        m_image.fill(bgrToRgb(m_background));
        m_damage.addAll();
        m_lastOps.clear();
        m_lastPieces.clear();
        m_lastPrinted.clear();
        m_lastRuns.clear();
        m_lastPlain.clear();
        m_lastValid = false;
        m_inked.reset();
    } else {
        // Only what was drawn since the last clear differs from the
        // background, so whitening that whitens the whole surface.
        const QRgb bg = bgrToRgb(m_background);
        for (const QRect& r : m_inked.rects) {
            fillPixels(r, bg);
            m_damage.add(r, m_imageRect);
        }
        m_inked.reset();
    }
    m_currentX = 0;
    m_currentY = 0;
}

void Surface::beginFrame() {
    ++m_frameDepth;
    restartFrame();
    m_currentX = 0;
    m_currentY = 0;
}

void Surface::endFrame() {
    if (m_frameDepth == 0)
        return;
    if (--m_frameDepth == 0)
        commitFrame();
}

QRect Surface::lastFrameBounds() const {
    QRect all;
    if (m_lastValid)
        for (const DrawOp& op : m_lastOps)
            all |= op.bounds;
    return all;
}

bool Surface::sameOp(const DrawOp& now, const DrawOp& was) const {
    if (now.kind != was.kind || now.bounds != was.bounds || now.colour != was.colour)
        return false;
    switch (now.kind) {
    case DrawOp::Kind::Fill:
    case DrawOp::Kind::Copy:
        // Runs: the same pieces in the same order.
        return now.sourceKey == was.sourceKey && now.rect == was.rect && now.count == was.count &&
               std::memcmp(m_framePieces.data() + now.first, m_lastPieces.data() + was.first,
                           now.count * sizeof(QRect)) == 0;
    case DrawOp::Kind::Text:
        return now.run == was.run && now.at == was.at;
    case DrawOp::Kind::Line:
        return now.rect == was.rect && now.width == was.width;
    case DrawOp::Kind::PlainText:
        return now.plain->text == was.plain->text && now.plain->font == was.plain->font &&
               now.plain->baseline == was.plain->baseline;
    }
    return false;
}

QRect Surface::pieceBounds(const DrawOp& op, const QRect& piece) const {
    return op.kind == DrawOp::Kind::Copy ? clipped(piece, m_imageRect) : piece;
}

void Surface::addOpBounds(const DrawOp& op, const std::vector<QRect>& pieces,
                          std::vector<QRect>& changed) const {
    if (!op.isRun()) {
        changed.push_back(op.bounds);
        return;
    }
    for (std::uint32_t k = 0; k < op.count; ++k)
        changed.push_back(pieceBounds(op, pieces[op.first + k]));
}

void Surface::addRunChanges(const DrawOp& now, const DrawOp& was,
                            std::vector<QRect>& changed) const {
    const QRect* a = m_lastPieces.data() + was.first;
    const QRect* b = m_framePieces.data() + now.first;
    const std::size_t na = was.count, nb = now.count;
    if (na == nb) {
        // Mostly equal: compare blocks of pieces at once.
        constexpr std::size_t Block = 64;
        for (std::size_t k = 0; k < na;) {
            const std::size_t end = std::min(na, k + Block);
            if (std::memcmp(a + k, b + k, (end - k) * sizeof(QRect)) == 0) {
                k = end;
                continue;
            }
            for (; k < end; ++k) {
                if (a[k] != b[k]) {
                    changed.push_back(pieceBounds(was, a[k]));
                    changed.push_back(pieceBounds(now, b[k]));
                }
            }
        }
        return;
    }
    // Pieces inserted or removed: what lies between the common beginning
    // and the common end changed.
    std::size_t head = 0;
    while (head < na && head < nb && a[head] == b[head])
        ++head;
    std::size_t tail = 0;
    while (tail < na - head && tail < nb - head && a[na - 1 - tail] == b[nb - 1 - tail])
        ++tail;
    for (std::size_t k = head; k < na - tail; ++k)
        changed.push_back(pieceBounds(was, a[k]));
    for (std::size_t k = head; k < nb - tail; ++k)
        changed.push_back(pieceBounds(now, b[k]));
}

void Surface::appendPiece(DrawOp& run, const QRect& piece, const QRect& bounds) {
    m_framePieces.push_back(piece);
    ++run.count;
    run.bounds = QRect(QPoint(std::min(run.bounds.left(), bounds.left()),
                              std::min(run.bounds.top(), bounds.top())),
                       QPoint(std::max(run.bounds.right(), bounds.right()),
                              std::max(run.bounds.bottom(), bounds.bottom())));
}

void Surface::submit(DrawOp op) {
    op.bounds = clipped(op.bounds, m_imageRect);
    if (inFrame()) {
        if (op.bounds.isEmpty())
            return;
        if (op.kind == DrawOp::Kind::Fill || op.kind == DrawOp::Kind::Copy) {
            const QRect piece =
                op.kind == DrawOp::Kind::Fill ? op.bounds : QRect(op.at, op.rect.size());
            if (!m_frameOps.empty()) {
                DrawOp& last = m_frameOps.back();
                if (last.isRun() && last.sameRunAs(op)) {
                    appendPiece(last, piece, op.bounds);
                    return;
                }
            }
            op.first = static_cast<std::uint32_t>(m_framePieces.size());
            op.count = 1;
            m_framePieces.push_back(piece);
        }
        m_frameOps.push_back(std::move(op));
        return;
    }
    if (!op.bounds.isEmpty()) {
        play(op, m_imageRect);
        endPainting();
        touched(op.bounds);
    }
    m_frameSources.clear();
}

// The region to paint for a list of changed rectangles: disjoint pieces,
// so no pixel is painted twice, or the one rectangle around them when
// there are too many to merge cheaply.
static QRegion regionOf(const std::vector<QRect>& rects, std::size_t maxRects) {
    QRegion region;
    if (rects.size() > maxRects) {
        QRect around;
        for (const QRect& r : rects)
            around |= r;
        return QRegion(around);
    }
    for (const QRect& r : rects)
        region += r;
    return region;
}

namespace {

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
                    while (x < x1 && mrow[x] != 255)
                        ++x;
                    const int begin = x;
                    while (x < x1 && mrow[x] == 255)
                        ++x;
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
        for (int y = top; y <= bottom; ++y) {
            const std::uint8_t* row = pixelRow(y);
            for (int x = left; x <= right; ++x)
                if (row[x] == 0)
                    return false;
        }
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
            int added = 0;
            for (int x = x0; x < end; ++x) {
                added += row[x] == 0 ? 1 : 0;
                row[x] = 1;
            }
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

} // namespace

// Paints the frame's operations into a region of disjoint rectangles. Only
// the operations that can still show are played: walking back from the
// last, an operation that lies wholly on pixels a later one paints over
// opaquely is left out, and so is the background where nothing shows
// through. The pixels are exactly those of playing every operation.
void Surface::paintRegion(const QRegion& region) {
    if (region.isEmpty())
        return;
    const QRect around = region.boundingRect();
    const std::vector<QRect> rects(region.begin(), region.end());
    // One walk over the rectangle round the region. Its pixels outside the
    // region are not painted, so they count as covered from the start.
    Coverage covered(around);
    for (const QRect& r : QRegion(around).subtracted(region))
        covered.addRect(r);
    std::vector<Piece>& shown = m_shown;
    shown.clear();
    for (std::size_t i = m_frameOps.size(); i-- > 0 && !covered.complete();) {
        const DrawOp& op = m_frameOps[i];
        if (!overlaps(op.bounds, around))
            continue;
        if (op.isRun()) {
            // Fills and copies set every pixel they reach.
            const bool copy = op.kind == DrawOp::Kind::Copy;
            for (std::uint32_t k = op.first + op.count; k-- > op.first && !covered.complete();) {
                const QRect& piece = m_framePieces[k];
                const QRect b = copy ? clipped(piece, m_imageRect) : piece;
                if (!overlaps(b, around) || covered.covers(b))
                    continue;
                shown.push_back(Piece{static_cast<std::uint32_t>(i), k});
                covered.addRect(b);
            }
            continue;
        }
        if (covered.covers(op.bounds))
            continue;
        shown.push_back(Piece{static_cast<std::uint32_t>(i), 0});
        switch (op.kind) {
        case DrawOp::Kind::Text:
            covered.addSolidText(*op.run, op.at, m_imageRect);
            break;
        case DrawOp::Kind::Fill:
        case DrawOp::Kind::Copy: // always runs in a frame
        case DrawOp::Kind::Line:
        case DrawOp::Kind::PlainText:
            break; // antialiased or not known pixel by pixel: covers nothing
        }
    }
    if (!covered.complete())
        for (const QRect& r : rects)
            fillPixels(r, bgrToRgb(m_background));
    // The rectangles do not overlap, so painting operation by operation
    // gives every pixel its operations in order.
    for (std::size_t j = shown.size(); j-- > 0;) {
        const DrawOp& op = m_frameOps[shown[j].op];
        if (op.isRun()) {
            const QRect& piece = m_framePieces[shown[j].index];
            const QRect b = pieceBounds(op, piece);
            for (const QRect& r : rects) {
                if (!overlaps(b, r))
                    continue;
                if (op.kind == DrawOp::Kind::Fill)
                    fillPixels(clipped(piece, r), op.colour);
                else
                    copyPixels(m_frameSources[op.source], op.rect, piece.topLeft(), r);
            }
            continue;
        }
        for (const QRect& r : rects)
            if (overlaps(op.bounds, r))
                play(op, r);
    }
    for (const QRect& r : rects)
        m_damage.add(r, m_imageRect);
}

void Surface::commitFrame() {
    constexpr std::size_t MaxChangedRects = 64;
    std::vector<QRect> changed;
    bool everything = !m_lastValid || m_inked.all;
    if (!everything) {
        const std::vector<DrawOp>& was = m_lastOps;
        const std::vector<DrawOp>& now = m_frameOps;
        // Matches operations of the two frames in order; what is not
        // matched, or matched but different, changed. Runs of the same
        // kind are matched piece by piece.
        auto compare = [&](const DrawOp& n, const DrawOp& w) {
            if (n.isRun() && w.isRun() && n.sameRunAs(w)) {
                addRunChanges(n, w, changed);
            } else if (!sameOp(n, w)) {
                addOpBounds(w, m_lastPieces, changed);
                addOpBounds(n, m_framePieces, changed);
            }
        };
        // Operations that differ and cannot be matched piece by piece end
        // the common beginning and end.
        auto matchable = [&](const DrawOp& n, const DrawOp& w) {
            return (n.isRun() && w.isRun() && n.sameRunAs(w)) || sameOp(n, w);
        };
        if (was.size() == now.size()) {
            for (std::size_t i = 0; i < now.size(); ++i)
                compare(now[i], was[i]);
        } else {
            // Something was inserted or removed: what lies between the
            // common beginning and the common end changed.
            std::size_t head = 0;
            while (head < was.size() && head < now.size() && matchable(now[head], was[head]))
                compare(now[head], was[head]), ++head;
            std::size_t tail = 0;
            while (tail < was.size() - head && tail < now.size() - head &&
                   matchable(now[now.size() - 1 - tail], was[was.size() - 1 - tail])) {
                compare(now[now.size() - 1 - tail], was[was.size() - 1 - tail]);
                ++tail;
            }
            for (std::size_t i = head; i < was.size() - tail; ++i)
                addOpBounds(was[i], m_lastPieces, changed);
            for (std::size_t i = head; i < now.size() - tail; ++i)
                addOpBounds(now[i], m_framePieces, changed);
        }
        changed.insert(changed.end(), m_inked.rects.begin(), m_inked.rects.end());
    }

    const QRegion region = everything ? QRegion(m_imageRect) : regionOf(changed, MaxChangedRects);
    endPainting();
    paintRegion(region);
    endPainting();
    m_lastOps.swap(m_frameOps);
    m_frameOps.clear();
    m_lastPieces.swap(m_framePieces);
    m_framePieces.clear();
    m_frameSources.clear();
    m_lastRuns.swap(m_frameRuns);
    m_frameRuns.clear();
    m_lastPlain.swap(m_framePlain);
    m_framePlain.clear();
    m_lastPrinted.swap(m_framePrinted);
    m_framePrinted.clear();
    m_printedGeneration = m_frameGeneration;
    m_lastValid = true;
    m_inked.reset();
}

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

// Puts ink of one colour through a coverage mask onto RGB32 pixels: solid
// coverage takes the colour, partial coverage blends, none leaves the pixel.
// One row of ink: pixels [0, n) of `row` against coverage `mask`.
void compositeRow(QRgb* row, const uchar* mask, int n, QRgb solid) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i solid4 = _mm_set1_epi32(static_cast<int>(solid));
    const __m128i src16 = _mm_unpacklo_epi8(solid4, zero);
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i c128 = _mm_set1_epi16(128);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    auto blendHalf = [&](__m128i d16, __m128i a16) {
        const __m128i ia = _mm_sub_epi16(c255, a16);
        __m128i t = _mm_add_epi16(_mm_mullo_epi16(src16, a16), _mm_mullo_epi16(d16, ia));
        t = _mm_add_epi16(t, c128);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    for (; x + 4 <= n; x += 4) {
        std::uint32_t a4;
        std::memcpy(&a4, mask + x, 4);
        if (a4 == 0)
            continue;
        auto* d = reinterpret_cast<__m128i*>(row + x);
        if (a4 == 0xFFFFFFFFu) {
            _mm_storeu_si128(d, solid4);
            continue;
        }
        const __m128i dst = _mm_loadu_si128(d);
        __m128i a = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(a4)), zero);
        a = _mm_unpacklo_epi16(a, a);
        const __m128i lo = blendHalf(_mm_unpacklo_epi8(dst, zero), _mm_unpacklo_epi32(a, a));
        const __m128i hi = blendHalf(_mm_unpackhi_epi8(dst, zero), _mm_unpackhi_epi32(a, a));
        _mm_storeu_si128(d, _mm_or_si128(_mm_packus_epi16(lo, hi), opaque));
    }
#endif
    for (; x < n; ++x) {
        const std::uint32_t a = mask[x];
        if (a != 0)
            row[x] = a == 255 ? solid : interpolate255(solid, a, row[x]) | 0xFF000000u;
    }
}

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
            const int x0 = std::max(run.spans[i].first, clipLeft);
            const int x1 = std::min(run.spans[i].second, clipRight);
            if (x0 < x1)
                compositeRow(row + x0, mrow + x0, x1 - x0, solid);
        }
    }
}

} // namespace

namespace {
// Text far larger than any the tool strip offers (a size or a length read
// from a file) is drawn straight onto the surface, clipped to it, instead of
// being rendered whole into the cache. A glyph is at most about two pixel
// sizes wide and 1.2 high.
bool cacheable(const CanvasFont& font, const std::string& text) {
    const double px = font.pixelSize;
    const double roughPixels = static_cast<double>(text.size()) * 2.4 * px * px;
    return font.pixelSize <= MaxCachedPixelSize && roughPixels <= MaxCachedTextPixels;
}
} // namespace

const TextRun* Surface::remembered(const std::string& text) const {
    const std::size_t k = m_framePrinted.size();
    if (!inFrame() || k >= m_lastPrinted.size() || m_printedGeneration != m_textCache.generation())
        return nullptr;
    const TextRun* run = m_lastPrinted[k];
    return run != nullptr && run->text == text && run->font == m_font ? run : nullptr;
}

void Surface::print(const std::string& text) {
    if (text.empty())
        return;
    if (!cacheable(m_font, text)) {
        notePrinted(nullptr);
        printUncached(text);
        return;
    }
    // A repaint prints the same texts in the same order as the last one,
    // mostly: try the run printed at the same place before looking up.
    std::shared_ptr<const TextRun> held;
    const TextRun* run = remembered(text);
    if (run == nullptr) {
        held = m_textCache.run(m_font, text);
        run = held.get();
    }
    if (run->maskSize.isEmpty()) { // nothing drawn, or no memory for it
        notePrinted(nullptr);
        return;
    }
    // A frame keeps its rendered text alive until the next one; past a
    // budget (only a file with a great many huge items gets there) the
    // rest of the frame's text is drawn without keeping its rendering.
    if (inFrame() && run->pinnedInFrame != m_frameSerial) {
        const auto bytes = static_cast<std::size_t>(run->mask.sizeInBytes());
        if (m_framePinnedBytes + bytes > m_framePinnedBudget) {
            notePrinted(nullptr);
            printUncached(text);
            return;
        }
        m_framePinnedBytes += bytes;
        run->pinnedInFrame = m_frameSerial;
        if (!held) {
            held = run->shared_from_this();
            m_textCache.keep(held); // used now, as a look-up would count it
        }
        m_frameRuns.push_back(std::move(held));
    }
    notePrinted(run);
    const QPoint at(roundPixel(m_currentX) + run->offset.x(),
                    roundPixel(m_currentY) + run->offset.y());
    DrawOp op;
    op.kind = DrawOp::Kind::Text;
    op.bounds = QRect(at, run->maskSize);
    op.colour = bgrToRgb(m_foreground);
    op.at = at;
    op.run = run;
    submit(std::move(op));
}

void Surface::paintPlainText(const PlainText& t, QRgb colour, const QRect& clip) {
    QPainter& p = painter();
    p.save();
    p.setClipRect(clip);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(makeQFont(t.font));
    p.setPen(QColor(colour));
    p.drawText(t.baseline, fromLatin1(t.text));
    p.restore();
}

void Surface::printUncached(const std::string& text) {
    const QFontMetricsF& fm = metrics();
    auto plain = std::make_shared<PlainText>();
    plain->text = text;
    plain->font = m_font;
    plain->baseline =
        QPointF(std::floor(m_currentX + 0.5), std::floor(m_currentY + 0.5) + fm.ascent());
    // Where the glyphs go is not worth working out exactly: take the
    // advance box with a generous margin.
    const double margin = m_font.pixelSize;
    DrawOp op;
    op.kind = DrawOp::Kind::PlainText;
    op.bounds =
        QRectF(plain->baseline.x() - margin, plain->baseline.y() - fm.ascent() - margin,
               fm.horizontalAdvance(fromLatin1(text)) + 2 * margin, fm.height() + 2 * margin)
            .toAlignedRect();
    op.colour = bgrToRgb(m_foreground);
    op.plain = plain.get();
    if (inFrame())
        m_framePlain.push_back(std::move(plain));
    submit(std::move(op));
}

double Surface::textWidth(const std::string& text) {
    return metrics().horizontalAdvance(fromLatin1(text));
}

double Surface::textHeight(const std::string&) {
    // The height of a single line: the font's ascent plus descent, whatever
    // the characters (an empty string has the same height).
    return metrics().height();
}

void Surface::fillPixels(const QRect& r, QRgb colour) {
    const QRect c = clipped(r, m_imageRect);
    if (c.isEmpty())
        return;
    uchar* const bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    const QRgb value = colour | 0xFF000000u;
    const auto bytes = static_cast<std::size_t>(c.width()) * sizeof(QRgb);
    if (value == 0xFFFFFFFFu) { // white, the usual background: every byte alike
        for (int y = c.top(); y <= c.bottom(); ++y)
            std::memset(bits + y * stride + c.left() * static_cast<qsizetype>(sizeof(QRgb)), 0xFF,
                        bytes);
        return;
    }
    for (int y = c.top(); y <= c.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
        std::fill(row + c.left(), row + c.right() + 1, value);
    }
}

void Surface::fillRect(const QRect& r, BgrColour colour) {
    // A frame's fills come in long runs of one colour: add to the run
    // without building an operation.
    if (inFrame() && !m_frameOps.empty()) {
        DrawOp& last = m_frameOps.back();
        if (last.kind == DrawOp::Kind::Fill && last.isRun() && last.colour == bgrToRgb(colour)) {
            const QRect b = clipped(r, m_imageRect);
            if (!b.isEmpty())
                appendPiece(last, b, b);
            return;
        }
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Fill;
    op.bounds = r;
    op.colour = bgrToRgb(colour);
    submit(std::move(op));
}

void Surface::line(int x1, int y1, int x2, int y2) {
    const int w = m_penWidth;
    const int lo = w / 2;
    if (y1 == y2 || x1 == x2) {
        // Axis-aligned: a band w pixels thick centred on the line.
        if (y1 == y2)
            fillRect(
                QRect(QPoint(std::min(x1, x2), y1 - lo), QPoint(std::max(x1, x2), y1 - lo + w - 1)),
                m_foreground);
        else
            fillRect(
                QRect(QPoint(x1 - lo, std::min(y1, y2)), QPoint(x1 - lo + w - 1, std::max(y1, y2))),
                m_foreground);
        return;
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Line;
    op.bounds = QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                      QPoint(std::max(x1, x2), std::max(y1, y2)))
                    .adjusted(-w, -w, w, w);
    op.colour = bgrToRgb(m_foreground);
    op.rect = QRect(QPoint(x1, y1), QPoint(x2, y2));
    op.width = static_cast<std::int16_t>(std::min(w, 32767));
    submit(std::move(op));
}

void Surface::paintLine(const QLine& l, int width, QRgb colour, const QRect& clip) {
    QPainter& p = painter();
    p.save();
    p.setClipRect(clip);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(colour), width, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(l);
    p.restore();
}

void Surface::box(int x1, int y1, int x2, int y2, BgrColour colour) {
    const int l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2),
              b = std::max(y1, y2);
    fillRect(QRect(QPoint(l, t), QPoint(r, t)), colour);
    fillRect(QRect(QPoint(l, b), QPoint(r, b)), colour);
    fillRect(QRect(QPoint(l, t), QPoint(l, b)), colour);
    fillRect(QRect(QPoint(r, t), QPoint(r, b)), colour);
}

void Surface::fillBox(double x1, double y1, double x2, double y2, BgrColour colour) {
    const int l = roundPixel(std::min(x1, x2)), r = roundPixel(std::max(x1, x2));
    const int t = roundPixel(std::min(y1, y2)), b = roundPixel(std::max(y1, y2));
    const int grow = (m_penWidth - 1) / 2;
    fillRect(QRect(QPoint(l - grow, t - grow), QPoint(r + grow, b + grow)), colour);
}

void Surface::blit(const QImage& source, const QRect& sourceRect, QPoint dest) {
    const qint64 key = source.cacheKey();
    // Markers: one long run of copies of the same block.
    if (inFrame() && !m_frameOps.empty()) {
        DrawOp& last = m_frameOps.back();
        if (last.kind == DrawOp::Kind::Copy && last.isRun() && last.sourceKey == key &&
            last.rect == sourceRect) {
            const QRect piece(dest, sourceRect.size());
            const QRect b = clipped(piece, m_imageRect);
            if (!b.isEmpty())
                appendPiece(last, piece, b);
            return;
        }
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Copy;
    op.bounds = QRect(dest, sourceRect.size());
    op.rect = sourceRect;
    op.at = dest;
    op.sourceKey = key;
    if (m_frameSources.empty() || m_lastSourceKey != op.sourceKey) {
        m_frameSources.push_back(source);
        m_lastSourceKey = op.sourceKey;
    }
    op.source = static_cast<std::uint32_t>(m_frameSources.size() - 1);
    submit(std::move(op));
}

void Surface::copyPixels(const QImage& source, const QRect& sourceRect, QPoint dest,
                         const QRect& clip) {
    const QRect target = clipped(clipped(QRect(dest, sourceRect.size()), m_imageRect), clip);
    if (target.isEmpty())
        return;
    // Parts of the block beyond the source picture (or all of it, for an
    // empty picture) copy as black, like a blank memory bitmap.
    const QRect available = sourceRect.intersected(source.rect());
    if (available != sourceRect)
        fillPixels(target, qRgb(0, 0, 0));
    if (available.isEmpty())
        return;
    const QImage* src = &source;
    QImage converted;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32) {
        converted = source.convertToFormat(QImage::Format_RGB32);
        src = &converted;
    }
    const QPoint shift = dest - sourceRect.topLeft();
    const QRect copy = available.translated(shift).intersected(target);
    uchar* const bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    for (int y = copy.top(); y <= copy.bottom(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(src->constScanLine(y - shift.y())) +
                           (copy.left() - shift.x());
        auto* to = reinterpret_cast<QRgb*>(bits + y * stride) + copy.left();
        for (int x = 0; x < copy.width(); ++x)
            to[x] = from[x] | 0xFF000000u;
    }
}

void Surface::play(const DrawOp& op, const QRect& clip) {
    switch (op.kind) {
    case DrawOp::Kind::Fill:
        fillPixels(clipped(op.bounds, clip), op.colour);
        break;
    case DrawOp::Kind::Text:
        compositeMask(m_image, *op.run, op.at, op.colour, clip);
        break;
    case DrawOp::Kind::Copy:
        copyPixels(m_frameSources[op.source], op.rect, op.at, clip);
        break;
    case DrawOp::Kind::Line:
        paintLine(QLine(op.rect.topLeft(), op.rect.bottomRight()), op.width, op.colour, clip);
        break;
    case DrawOp::Kind::PlainText:
        paintPlainText(*op.plain, op.colour, clip);
        break;
    }
}

long Surface::point(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return -1;
    endPainting();
    return static_cast<long>(rgbToBgr(m_image.pixel(x, y)));
}

void Surface::refresh() {
    if (inFrame())
        return; // the frame's outermost end shows it
    endPainting();
    if (m_damage.empty())
        return;
    constexpr std::size_t MaxShownRects = 16;
    const QRegion changed =
        m_damage.all ? QRegion(m_imageRect) : regionOf(m_damage.rects, MaxShownRects);
    m_damage.reset();
    if (m_refresh)
        m_refresh(changed);
}

} // namespace quill
