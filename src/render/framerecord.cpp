#include "render/framerecord.h"

#include <algorithm>
#include <cstring>

namespace quill {

void FrameRecord::clear() {
    ops.clear();
    pieces.clear();
    sources.clear();
    runs.clear();
    plain.clear();
    printed.clear();
    generation = 0;
    area = 0;
    painterDrawn = false;
}

void FrameRecord::appendPiece(DrawOp& op, const QRect& piece, const QRect& bounds) {
    pieces.push_back(piece);
    area += static_cast<double>(bounds.width()) * bounds.height();
    ++op.count;
    op.bounds = QRect(
        QPoint(std::min(op.bounds.left(), bounds.left()), std::min(op.bounds.top(), bounds.top())),
        QPoint(std::max(op.bounds.right(), bounds.right()),
               std::max(op.bounds.bottom(), bounds.bottom())));
}

void ChangedArea::addPieces(const DrawOp& op, const QRect* first, std::size_t n,
                            const QRect& surface) {
    std::size_t k = 0;
    for (; k < n && !m_many; ++k)
        add(pieceBounds(op, first[k], surface));
    if (k == n)
        return;
    // Pieces are never empty; a copy's may reach past the surface, and only
    // its part on the surface counts.
    int left = m_around.left(), top = m_around.top(), right = m_around.right(),
        bottom = m_around.bottom();
    bool any = !m_around.isEmpty();
    const bool clip = op.kind == DrawOp::Kind::Copy;
    for (; k < n; ++k) {
        const QRect r = clip ? clipped(first[k], surface) : first[k];
        if (clip && r.isEmpty())
            continue;
        if (!any) {
            left = r.left(), top = r.top(), right = r.right(), bottom = r.bottom();
            any = true;
            continue;
        }
        left = std::min(left, r.left());
        top = std::min(top, r.top());
        right = std::max(right, r.right());
        bottom = std::max(bottom, r.bottom());
    }
    if (any)
        m_around = QRect(QPoint(left, top), QPoint(right, bottom));
}

void FrameRecord::addBounds(const DrawOp& op, const QRect& surface, ChangedArea& changed) const {
    if (!op.isRun()) {
        changed.add(op.bounds);
        return;
    }
    changed.addPieces(op, pieces.data() + op.first, op.count, surface);
}

namespace {

bool sameOp(const DrawOp& now, const FrameRecord& nowRecord, const DrawOp& was,
            const FrameRecord& wasRecord) {
    if (now.kind != was.kind || now.bounds != was.bounds || now.colour != was.colour)
        return false;
    switch (now.kind) {
    case DrawOp::Kind::Fill:
    case DrawOp::Kind::Copy:
        // Runs: the same pieces in the same order.
        return now.sourceKey == was.sourceKey && now.rect == was.rect && now.count == was.count &&
               std::memcmp(nowRecord.pieces.data() + now.first, wasRecord.pieces.data() + was.first,
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

// Adds where two runs of the same kind differ, piece by piece.
void addRunChanges(const DrawOp& now, const FrameRecord& nowRecord, const DrawOp& was,
                   const FrameRecord& wasRecord, const QRect& surface, ChangedArea& changed) {
    const QRect* a = wasRecord.pieces.data() + was.first;
    const QRect* b = nowRecord.pieces.data() + now.first;
    const std::size_t na = was.count, nb = now.count;
    if (na == nb) {
        // Mostly equal: compare blocks of pieces at once.
        constexpr std::size_t Block = 64;
        for (std::size_t k = 0; k < na && !changed.fills(surface);) {
            const std::size_t end = std::min(na, k + Block);
            if (std::memcmp(a + k, b + k, (end - k) * sizeof(QRect)) == 0) {
                k = end;
                continue;
            }
            for (; k < end; ++k) {
                if (a[k] != b[k]) {
                    changed.add(pieceBounds(was, a[k], surface));
                    changed.add(pieceBounds(now, b[k], surface));
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
    changed.addPieces(was, a + head, na - tail - head, surface);
    changed.addPieces(now, b + head, nb - tail - head, surface);
}

} // namespace

void addChanges(const FrameRecord& nowRecord, const FrameRecord& wasRecord, const QRect& surface,
                ChangedArea& changed) {
    const std::vector<DrawOp>& was = wasRecord.ops;
    const std::vector<DrawOp>& now = nowRecord.ops;
    auto compare = [&](const DrawOp& n, const DrawOp& w) {
        if (n.isRun() && w.isRun() && n.sameRunAs(w)) {
            addRunChanges(n, nowRecord, w, wasRecord, surface, changed);
        } else if (!sameOp(n, nowRecord, w, wasRecord)) {
            wasRecord.addBounds(w, surface, changed);
            nowRecord.addBounds(n, surface, changed);
        }
    };
    // Operations that differ and cannot be matched piece by piece end the
    // common beginning and end.
    auto matchable = [&](const DrawOp& n, const DrawOp& w) {
        return (n.isRun() && w.isRun() && n.sameRunAs(w)) || sameOp(n, nowRecord, w, wasRecord);
    };
    if (was.size() == now.size()) {
        for (std::size_t i = 0; i < now.size() && !changed.fills(surface); ++i)
            compare(now[i], was[i]);
        return;
    }
    std::size_t head = 0;
    while (head < was.size() && head < now.size() && matchable(now[head], was[head])) {
        compare(now[head], was[head]), ++head;
        if (changed.fills(surface))
            return;
    }
    std::size_t tail = 0;
    while (tail < was.size() - head && tail < now.size() - head &&
           matchable(now[now.size() - 1 - tail], was[was.size() - 1 - tail])) {
        compare(now[now.size() - 1 - tail], was[was.size() - 1 - tail]);
        ++tail;
        if (changed.fills(surface))
            return;
    }
    for (std::size_t i = head; i < was.size() - tail; ++i)
        wasRecord.addBounds(was[i], surface, changed);
    for (std::size_t i = head; i < now.size() - tail; ++i)
        nowRecord.addBounds(now[i], surface, changed);
}

std::optional<std::size_t> appendedTo(const FrameRecord& now, const FrameRecord& was) {
    if (now.ops.size() <= was.ops.size())
        return std::nullopt;
    for (std::size_t i = 0; i < was.ops.size(); ++i)
        if (!sameOp(now.ops[i], now, was.ops[i], was))
            return std::nullopt;
    for (std::size_t i = was.ops.size(); i < now.ops.size(); ++i) {
        const DrawOp::Kind k = now.ops[i].kind;
        if (k == DrawOp::Kind::Line || k == DrawOp::Kind::PlainText)
            return std::nullopt;
    }
    return was.ops.size();
}

namespace {

// A record's drawing one piece at a time: each piece of a run, and every
// other operation, in drawing order. Runs are a way of keeping the record
// small; where a run ends does not change what is drawn (two runs of one
// colour join when whatever lay between them goes).
class PieceCursor {
public:
    explicit PieceCursor(const FrameRecord& r) : m_r(r) {}
    bool done() const { return m_op >= m_r.ops.size(); }
    const DrawOp& op() const { return m_r.ops[m_op]; }
    // A run's piece, or a single operation's bounds.
    QRect rect() const { return op().isRun() ? m_r.pieces[op().first + m_piece] : op().bounds; }
    QRect bounds(const QRect& surface) const {
        return op().isRun() ? pieceBounds(op(), rect(), surface) : op().bounds;
    }
    void next() {
        if (op().isRun() && ++m_piece < op().count)
            return;
        ++m_op;
        m_piece = 0;
    }

private:
    const FrameRecord& m_r;
    std::size_t m_op = 0;
    std::uint32_t m_piece = 0;
};

// Whether `n` draws what `w` draws, moved by `d`, wherever `inner` shows.
bool pieceMoved(const PieceCursor& n, const PieceCursor& w, QPoint d, const QRect& inner) {
    const DrawOp& a = n.op();
    const DrawOp& b = w.op();
    if (a.kind != b.kind || a.colour != b.colour)
        return false;
    switch (a.kind) {
    case DrawOp::Kind::Text:
        return a.run == b.run && a.at == b.at + d;
    case DrawOp::Kind::Copy:
        return a.sourceKey == b.sourceKey && a.rect == b.rect && a.isRun() && b.isRun() &&
               n.rect() == w.rect().translated(d);
    case DrawOp::Kind::Fill: {
        // Fills are kept clipped to the surface: they need to agree only
        // where the moved picture is kept.
        const QRect moved = w.rect().translated(d);
        if (n.rect() == moved)
            return true;
        const QRect x = n.rect().intersected(inner), y = moved.intersected(inner);
        return x == y || (x.isEmpty() && y.isEmpty());
    }
    case DrawOp::Kind::Line:
    case DrawOp::Kind::PlainText:
        return false;
    }
    return false;
}

} // namespace

std::optional<QPoint> shiftOf(const FrameRecord& now, const FrameRecord& was,
                              const QRect& surface) {
    if (now.ops.empty() || was.ops.empty() || now.painterDrawn || was.painterDrawn)
        return std::nullopt;
    // The offset, from the first text placed in both at the same point of
    // the order.
    std::optional<QPoint> found;
    for (std::size_t i = 0; i < std::min(now.ops.size(), was.ops.size()) && !found; ++i)
        if (now.ops[i].kind == DrawOp::Kind::Text && was.ops[i].kind == DrawOp::Kind::Text &&
            now.ops[i].run == was.ops[i].run)
            found = now.ops[i].at - was.ops[i].at;
    if (!found || found->isNull())
        return std::nullopt;
    const QPoint d = *found;
    // What the moved picture covers; the rest is painted afresh.
    const QRect inner = surface.intersected(surface.translated(d));
    if (inner.isEmpty())
        return std::nullopt;
    // Piece by piece in order, those that reach nothing of `inner` (moved
    // in or out across the edge) missing on either side.
    PieceCursor n(now), w(was);
    while (!n.done() || !w.done()) {
        if (!n.done() && !w.done() && pieceMoved(n, w, d, inner)) {
            n.next();
            w.next();
        } else if (!n.done() && !n.bounds(surface).intersects(inner)) {
            n.next();
        } else if (!w.done() && !w.bounds(surface).translated(d).intersects(inner)) {
            w.next();
        } else {
            return std::nullopt;
        }
    }
    return d;
}

} // namespace quill
