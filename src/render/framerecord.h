#pragma once
// The record of a frame: the drawing operations one repaint made, kept so
// that the next repaint can be compared with it, and the comparison, which
// tells where two frames' pictures can differ.
//
// Small and flat: a repaint records and compares hundreds of thousands of
// operations. Consecutive fills of one colour and consecutive copies of one
// block of one picture are recorded as one operation, a run, whose pieces
// are rectangles in the record's flat list (a fill's pixels, a copy's
// destination), in drawing order.

#include "render/fontface.h"
#include "render/rects.h"
#include "render/textcache.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quill {

// Text drawn straight onto the picture, not through the text cache.
struct PlainText {
    std::string text;
    CanvasFont font;
    QPointF baseline;
};

// One recorded drawing operation.
struct DrawOp {
    enum class Kind : std::uint8_t { Fill, Text, Copy, Line, PlainText };
    QRect bounds; // every pixel it may change, within the surface
    // Fill: the pixels; Copy: the source block; Line: the end points as
    // topLeft() and bottomRight().
    QRect rect;
    QPoint at; // Text: where the mask goes; Copy: the destination
    union {
        const TextRun* run;     // Text, kept alive by the record's run list
        const PlainText* plain; // PlainText, likewise
        qint64 sourceKey;       // Copy: the source picture's QImage::cacheKey()
    };
    QRgb colour = 0;
    std::uint32_t source = 0; // Copy: index into the record's source pictures
    std::int16_t width = 1;   // Line: pen width
    Kind kind = Kind::Fill;
    // Fill and Copy in a frame: pieces [first, first + count) of the
    // record's rectangles; bounds is all of them together.
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    DrawOp() : sourceKey(0) {}
    bool isRun() const { return count != 0; }
    // Same kind and parameters, so that pieces of the two runs can be
    // compared one by one.
    bool sameRunAs(const DrawOp& o) const {
        return kind == o.kind && colour == o.colour && sourceKey == o.sourceKey && rect == o.rect;
    }
};

// The pixels a piece of a run may change on a surface.
inline QRect pieceBounds(const DrawOp& op, const QRect& piece, const QRect& surface) {
    return op.kind == DrawOp::Kind::Copy ? clipped(piece, surface) : piece;
}

// Where two frames' pictures can differ: the rectangles one by one while
// there are few, and the rectangle round them all. A repaint past a few
// dozen rectangles paints the one round them, so a comparison that finds
// hundreds of thousands (every item moved) keeps no more than that.
struct ChangedArea {
    explicit ChangedArea(std::size_t most) : m_most(most) {}
    void add(const QRect& r) {
        if (r.isEmpty())
            return;
        if (m_rects.size() < m_most) {
            m_rects.push_back(r);
        } else {
            m_many = true;
        }
        if (m_around.isEmpty()) {
            m_around = r;
            return;
        }
        m_around = QRect(
            QPoint(std::min(m_around.left(), r.left()), std::min(m_around.top(), r.top())),
            QPoint(std::max(m_around.right(), r.right()), std::max(m_around.bottom(), r.bottom())));
    }
    // The pieces [first, first + n) of a run, each as pieceBounds() gives
    // it: once too many are kept, only the rectangle round them grows, in
    // one pass without a test per piece.
    void addPieces(const DrawOp& op, const QRect* first, std::size_t n, const QRect& surface);
    // Every rectangle added, when there were not too many to keep.
    bool tooMany() const { return m_many; }
    // Nothing added from now on could change what is painted: the
    // rectangle round them already holds all of `surface`.
    bool fills(const QRect& surface) const { return m_many && m_around.contains(surface); }
    const std::vector<QRect>& rects() const { return m_rects; }
    const QRect& around() const { return m_around; }

private:
    std::size_t m_most;
    std::vector<QRect> m_rects;
    QRect m_around;
    bool m_many = false;
};

// One piece of a run, as one drawing operation would be: a place in a
// record's drawing order.
struct Piece {
    std::uint32_t op;
    std::uint32_t index; // into the record's rectangles; for others, unused
};

struct FrameRecord {
    std::vector<DrawOp> ops;
    std::vector<QRect> pieces; // the pieces of its runs
    // The pictures its copies read from, each once in a row (all markers
    // share one).
    std::vector<QImage> sources;
    // What its text operations point to, each once, kept alive for as long
    // as the frame is compared with the next.
    std::vector<std::shared_ptr<const TextRun>> runs;
    std::vector<std::shared_ptr<const PlainText>> plain;
    // Every print of the frame in order: the run it drew, kept alive by
    // `runs`, or null.
    std::vector<const TextRun*> printed;
    std::uint64_t generation = 0; // the text cache's when the frame began
    double area = 0;              // the pixels of its operations, summed
    // It holds lines or plain text, which the painter draws: their pixels
    // can shift when they are drawn clipped.
    bool painterDrawn = false;

    // Forgets everything, keeping the memory.
    void clear();
    // Adds a piece to the run `op`; `bounds` is what the piece may change.
    void appendPiece(DrawOp& op, const QRect& piece, const QRect& bounds);
    // What an operation may change, piece by piece for a run.
    void addBounds(const DrawOp& op, const QRect& surface, ChangedArea& changed) const;
};

// Adds to `changed` every rectangle of the surface where the pictures of the
// two frames can differ. Operations are matched in order, and runs of the
// same kind piece by piece; what was inserted or removed is found as what
// lies between the common beginning and the common end.
void addChanges(const FrameRecord& now, const FrameRecord& was, const QRect& surface,
                ChangedArea& changed);

// When `now` is `was` with operations added at its end and nothing else
// changed (a selection's marks drawn over an unchanged expression): the
// index of the first added one. Painting the added operations over the
// picture of `was` then gives the picture of `now`. Nothing when anything
// else differs, or when an added operation is drawn by the painter.
std::optional<std::size_t> appendedTo(const FrameRecord& now, const FrameRecord& was);

// When every operation of `now` is the same operation of `was` moved by one
// offset (every item nudged together), as far as the surface shows it: the
// offset. The picture of `was` moved by it then holds the picture of `now`
// wherever the moved picture covers the surface. Nothing otherwise, for no
// move at all, or for frames with operations drawn by the painter.
std::optional<QPoint> shiftOf(const FrameRecord& now, const FrameRecord& was, const QRect& surface);

} // namespace quill
