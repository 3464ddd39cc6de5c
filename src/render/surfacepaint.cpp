// Painting a frame's recorded operations into the surface's picture: where
// the frame differs from the last one, or everywhere.

#include "export/halves.h"
#include "render/coverage.h"
#include "render/rects.h"
#include "render/surface.h"
#include "render/textcomposite.h"

#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace quill {

namespace {
// Rows painted together by a repaint of the whole surface.
constexpr int BandRows = 32;
// The slices a large region is painted in: enough that one slice held up
// on a busy helper thread costs little, few enough that walking the frame
// once for each costs little too.
constexpr int RegionSlices = 4;
} // namespace

// Paints the frame's operations into a region of disjoint rectangles. A
// large region on a frame the painter has no part in is painted in slices
// of its rows by two threads, each taking the next slice left: each slice
// only reads the frame and writes its own rows. Should the helper thread
// be held up (a busy machine), this one paints the slices it has not
// taken rather than wait for it.
void Surface::paintRegion(const QRegion& region) {
    if (region.isEmpty())
        return;
    const QRect around = region.boundingRect();
    Q_ASSERT(m_imageRect.contains(around));
    const double pixels = static_cast<double>(around.width()) * around.height();
    if (!m_frame.painterDrawn && around.height() >= 2 * BandRows &&
        pixels >= static_cast<double>(HalvesWorthPixels)) {
        const int count = std::min(RegionSlices, around.height() / BandRows);
        std::vector<QRegion> slices;
        for (int k = 0; k < count; ++k)
            slices.push_back(region.intersected(QRect(
                QPoint(around.left(), around.top() + around.height() * k / count),
                QPoint(around.right(), around.top() + around.height() * (k + 1) / count - 1))));
        std::atomic<int> next{0};
        auto paintSlices = [&](std::vector<ShownPiece>& shown) {
            for (int k = next++; k < count; k = next++)
                paintRects(slices[static_cast<std::size_t>(k)], shown);
        };
        m_paintBits = m_image.bits();
        runInHalves([&] { paintSlices(m_shown); }, [&] { paintSlices(m_shownOther); });
        m_paintBits = nullptr;
    } else {
        paintRects(region, m_shown);
    }
    for (const QRect& r : region)
        m_damage.add(r, m_imageRect);
}

// Paints a region, or a slice of one. Only the operations that can still
// show are played: walking back from the last, an operation that lies
// wholly on pixels a later one paints over opaquely is left out, and so is
// the background where nothing shows through. The pixels are exactly those
// of playing every operation.
void Surface::paintRects(const QRegion& region, std::vector<ShownPiece>& shown) {
    if (region.isEmpty())
        return;
    const QRect around = region.boundingRect();
    const std::vector<QRect> rects(region.begin(), region.end());
    // One walk over the rectangle round them. Its pixels outside them are
    // not painted, so they count as covered from the start.
    Coverage covered(around);
    for (const QRect& r : QRegion(around).subtracted(region))
        covered.addRect(r);
    shown.clear();
    for (std::size_t i = m_frame.ops.size(); i-- > 0 && !covered.complete();) {
        const DrawOp& op = m_frame.ops[i];
        if (!overlaps(op.bounds, around))
            continue;
        if (op.isRun()) {
            // Fills and copies set every pixel they reach. `around` lies
            // within the surface, so a copy's piece reaches it where the
            // piece's part on the surface does.
            const bool copy = op.kind == DrawOp::Kind::Copy;
            const QRect* pieces = m_frame.pieces.data();
            for (std::size_t k = std::size_t(op.first) + op.count; !covered.complete();) {
                k = lastOverlapping(pieces, op.first, k, around);
                if (k == std::size_t(op.first) - 1)
                    break;
                if (covered.addRect(copy ? clipped(pieces[k], m_imageRect) : pieces[k]))
                    shown.push_back(ShownPiece{pieces[k], static_cast<std::uint32_t>(i)});
            }
            continue;
        }
        if (covered.covers(op.bounds))
            continue;
        shown.push_back(ShownPiece{op.bounds, static_cast<std::uint32_t>(i)});
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
        const DrawOp& op = m_frame.ops[shown[j].op];
        if (op.isRun()) {
            const QRect& piece = shown[j].piece;
            const QRect b = pieceBounds(op, piece, m_imageRect);
            for (const QRect& r : rects) {
                if (!overlaps(b, r))
                    continue;
                if (op.kind == DrawOp::Kind::Fill)
                    fillPixels(clipped(piece, r), op.colour);
                else
                    copyPixels(m_frame.sources[op.source], op.rect, piece.topLeft(), r);
            }
            continue;
        }
        for (const QRect& r : rects)
            if (overlaps(op.bounds, r))
                play(op, r);
    }
}

void Surface::paintOver(std::size_t first) {
    for (std::size_t i = first; i < m_frame.ops.size(); ++i) {
        const DrawOp& op = m_frame.ops[i];
        if (!op.isRun()) {
            play(op, m_imageRect);
            m_damage.add(op.bounds, m_imageRect);
            continue;
        }
        for (std::uint32_t k = op.first; k < op.first + op.count; ++k) {
            const QRect& piece = m_frame.pieces[k];
            if (op.kind == DrawOp::Kind::Fill)
                fillPixels(clipped(piece, m_imageRect), op.colour);
            else
                copyPixels(m_frame.sources[op.source], op.rect, piece.topLeft(), m_imageRect);
            m_damage.add(pieceBounds(op, piece, m_imageRect), m_imageRect);
        }
    }
}

void Surface::shiftPixels(QPoint d) {
    const int w = m_imageRect.width(), h = m_imageRect.height();
    const int dx = d.x(), dy = d.y();
    if (std::abs(dx) >= w || std::abs(dy) >= h)
        return;
    uchar* const bits = pixelsToPaint();
    const qsizetype line = m_image.bytesPerLine();
    const auto bytes = static_cast<std::size_t>(w - std::abs(dx)) * sizeof(QRgb);
    const int to = std::max(dx, 0), from = std::max(-dx, 0);
    auto move = [&](int y) {
        std::memmove(bits + y * line + to * static_cast<qsizetype>(sizeof(QRgb)),
                     bits + (y - dy) * line + from * static_cast<qsizetype>(sizeof(QRgb)), bytes);
    };
    // Rows are taken before they are written over.
    if (dy > 0)
        for (int y = h - 1; y >= dy; --y)
            move(y);
    else
        for (int y = 0; y < h + dy; ++y)
            move(y);
}

// Paints every operation of the frame over the background, in order, a
// band of rows at a time: a band stays in the processor's cache while the
// background and everything on it are painted, where painting operation by
// operation over the whole surface would fetch its pixels again for each.
// Lines and plain text are drawn by the painter, whose pixels can shift
// where a band's edge cuts them: a frame with any is painted as one band.
void Surface::paintEverything() {
    const int rows = m_frame.painterDrawn ? m_imageRect.height() : BandRows;
    const int bandCount = (m_imageRect.height() + rows - 1) / rows;
    if (m_bands.size() < static_cast<std::size_t>(bandCount))
        m_bands.resize(static_cast<std::size_t>(bandCount));
    for (int b = 0; b < bandCount; ++b)
        m_bands[static_cast<std::size_t>(b)].clear();
    auto sort = [&](const QRect& bounds, Piece piece) {
        const int last = bounds.bottom() / rows;
        for (int b = bounds.top() / rows; b <= last; ++b)
            m_bands[static_cast<std::size_t>(b)].push_back(piece);
    };
    for (std::size_t i = 0; i < m_frame.ops.size(); ++i) {
        const DrawOp& op = m_frame.ops[i];
        const auto index = static_cast<std::uint32_t>(i);
        if (!op.isRun()) {
            sort(op.bounds, Piece{index, 0});
            continue;
        }
        for (std::uint32_t k = op.first; k < op.first + op.count; ++k)
            sort(pieceBounds(op, m_frame.pieces[k], m_imageRect), Piece{index, k});
    }
    const QRgb background = bgrToRgb(m_background);
    auto paintBands = [&](int from, int to) {
        for (int b = from; b < to; ++b) {
            const QRect band = clipped(QRect(0, b * rows, m_imageRect.width(), rows), m_imageRect);
            fillPixels(band, background);
            for (const Piece& piece : m_bands[static_cast<std::size_t>(b)]) {
                const DrawOp& op = m_frame.ops[piece.op];
                if (!op.isRun()) {
                    play(op, band, true);
                } else if (op.kind == DrawOp::Kind::Fill) {
                    fillPixels(clipped(m_frame.pieces[piece.index], band), op.colour);
                } else {
                    copyPixels(m_frame.sources[op.source], op.rect,
                               m_frame.pieces[piece.index].topLeft(), band);
                }
            }
        }
    };
    // Bands are disjoint rows, and with no painter in the frame every
    // operation only reads the frame and writes its band's pixels: the
    // lower half of a large surface is painted beside the upper half. What
    // is worked out on first use (texts' composite steps, the picture's own
    // copy of its pixels) is worked out here first, so the halves only read.
    const double pixels = static_cast<double>(m_imageRect.width()) * m_imageRect.height();
    if (!m_frame.painterDrawn && bandCount >= 2 &&
        pixels >= static_cast<double>(HalvesWorthPixels) &&
        m_frame.area >= SplitPaintOverdraw * pixels) {
        for (const DrawOp& op : m_frame.ops)
            if (op.kind == DrawOp::Kind::Text && op.run != nullptr)
                op.run->prepareSteps();
        m_paintBits = m_image.bits();
        const int half = bandCount / 2;
        runInHalves([&] { paintBands(0, half); }, [&] { paintBands(half, bandCount); });
        m_paintBits = nullptr;
    } else {
        paintBands(0, bandCount);
    }
    m_damage.addAll();
}

uchar* Surface::pixelsToPaint() {
    return m_paintBits != nullptr ? m_paintBits : m_image.bits();
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

void Surface::fillPixels(const QRect& r, QRgb colour) {
    const QRect c = clipped(r, m_imageRect);
    if (c.isEmpty())
        return;
    uchar* const bits = pixelsToPaint();
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
    uchar* const bits = pixelsToPaint();
    const qsizetype stride = m_image.bytesPerLine();
    for (int y = copy.top(); y <= copy.bottom(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(src->constScanLine(y - shift.y())) +
                           (copy.left() - shift.x());
        auto* to = reinterpret_cast<QRgb*>(bits + y * stride) + copy.left();
        for (int x = 0; x < copy.width(); ++x)
            to[x] = from[x] | 0xFF000000u;
    }
}

void Surface::play(const DrawOp& op, const QRect& clip, bool whole) {
    switch (op.kind) {
    case DrawOp::Kind::Fill:
        fillPixels(clipped(op.bounds, clip), op.colour);
        break;
    case DrawOp::Kind::Text:
        compositeMask(PixelTarget{pixelsToPaint(), m_image.bytesPerLine(), m_imageRect}, *op.run,
                      op.at, op.colour, clip, whole);
        break;
    case DrawOp::Kind::Copy:
        copyPixels(m_frame.sources[op.source], op.rect, op.at, clip);
        break;
    case DrawOp::Kind::Line:
        paintLine(QLine(op.rect.topLeft(), op.rect.bottomRight()), op.width, op.colour, clip);
        break;
    case DrawOp::Kind::PlainText:
        paintPlainText(*op.plain, op.colour, clip);
        break;
    }
}

} // namespace quill
