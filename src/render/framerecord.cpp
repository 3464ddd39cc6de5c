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

void FrameRecord::addBounds(const DrawOp& op, const QRect& surface,
                            std::vector<QRect>& changed) const {
    if (!op.isRun()) {
        changed.push_back(op.bounds);
        return;
    }
    for (std::uint32_t k = 0; k < op.count; ++k)
        changed.push_back(pieceBounds(op, pieces[op.first + k], surface));
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
                   const FrameRecord& wasRecord, const QRect& surface,
                   std::vector<QRect>& changed) {
    const QRect* a = wasRecord.pieces.data() + was.first;
    const QRect* b = nowRecord.pieces.data() + now.first;
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
                    changed.push_back(pieceBounds(was, a[k], surface));
                    changed.push_back(pieceBounds(now, b[k], surface));
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
        changed.push_back(pieceBounds(was, a[k], surface));
    for (std::size_t k = head; k < nb - tail; ++k)
        changed.push_back(pieceBounds(now, b[k], surface));
}

} // namespace

void addChanges(const FrameRecord& nowRecord, const FrameRecord& wasRecord, const QRect& surface,
                std::vector<QRect>& changed) {
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
        for (std::size_t i = 0; i < now.size(); ++i)
            compare(now[i], was[i]);
        return;
    }
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
        wasRecord.addBounds(was[i], surface, changed);
    for (std::size_t i = head; i < now.size() - tail; ++i)
        nowRecord.addBounds(now[i], surface, changed);
}

} // namespace quill
