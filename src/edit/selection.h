#pragma once
// The selection: the items the user has picked out to act on together
// (moved, nudged, aligned, deleted, copied, outlined). It belongs to the
// window alone: it is never stored in a file and never drawn into a
// picture.
//
// The functions below act on the tables: moving items as wholes, the
// offsets that keep them on the canvas, the order of items by position,
// alignment, copies. They need no window and no fonts; where an item's ink
// matters (alignment), the caller measures it and hands it in.

#include "edit/hotspot.h"
#include "model/expression.h"

#include <QPoint>
#include <QRect>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quill {

// One item: its table (hitkind::Text, HLine or VLine) and its row there.
struct ItemRef {
    std::int16_t kind = hitkind::None;
    std::int32_t row = 0;
    bool operator==(const ItemRef&) const = default;
};

// The row the next append writes in each table, to find the rows an append
// added.
struct RowCounts {
    std::int32_t text = 0;
    std::int32_t hLines = 0;
    std::int32_t vLines = 0;
};
RowCounts nextAppendRows(const Expression& e);

class Selection {
public:
    bool empty() const;
    std::size_t size() const;
    bool contains(ItemRef item) const;
    // Each returns whether the selection changed.
    bool add(ItemRef item);
    bool remove(ItemRef item);
    bool toggle(ItemRef item);
    bool clear();
    // Every live item.
    void selectAll(const Expression& e);
    // Exactly the live rows appended since the tables held `before` rows.
    void selectAppended(RowCounts before, const Expression& e);
    void unite(const Selection& other);
    // Forgets rows that are dead or that the tables no longer hold; returns
    // whether any went.
    bool prune(const Expression& e);
    // The selected rows of one table, ascending.
    const std::vector<std::int32_t>& rows(std::int16_t kind) const;
    // Every selected item, tables in the order text, horizontal, vertical.
    std::vector<ItemRef> items() const;
    bool operator==(const Selection&) const = default;

private:
    static std::size_t slot(std::int16_t kind);
    std::array<std::vector<std::int32_t>, 3> m_rows;
};

// Whether the item is a live row the tables hold.
bool isLiveItem(const Expression& e, ItemRef item);

// The handle that carries the whole item: a text item's own, a line's
// middle one.
QPoint carryingHandle(const Expression& e, ItemRef item);

// Whether a press on handle `handle` (as the hit test reports it) of an
// item of this kind carries the whole item rather than stretching it.
inline bool carriesItem(std::int16_t kind, std::int16_t handle) {
    return kind == hitkind::Text || handle == 2;
}

// Calls f(QPoint) for every handle of the item (a text item's one, a
// line's three), the item being a row the tables hold.
template <typename F> void forEachHandle(const Expression& e, ItemRef item, F&& f) {
    const auto r = static_cast<std::size_t>(item.row);
    switch (item.kind) {
    case hitkind::Text:
        f(QPoint(e.TextItems.markerX[r], e.TextItems.markerY[r]));
        break;
    case hitkind::HLine: {
        const auto& h = e.HLines;
        f(QPoint(h.x1[r], h.y[r]));
        f(QPoint(h.midX[r], h.y[r]));
        f(QPoint(h.x2[r], h.y[r]));
        break;
    }
    case hitkind::VLine: {
        const auto& v = e.VLines;
        f(QPoint(v.x[r], v.y1[r]));
        f(QPoint(v.x[r], v.midY[r]));
        f(QPoint(v.x[r], v.y2[r]));
        break;
    }
    default:
        break;
    }
}

// Every live item whose handles all lie inside `area`.
Selection itemsInside(const Expression& e, const QRect& area);

// Live items by position: left to right by their leftmost handle, then top
// to bottom by their topmost one.
std::vector<ItemRef> itemsByPosition(const Expression& e);

// The item after (forward) or before the selection by position: after the
// last selected item, or before the first one. With `fromStart`, or with
// nothing selected, the first (forward) or last item. Nothing when there is
// no such item.
std::optional<ItemRef> neighbourItem(const Expression& e, const Selection& s, bool forward,
                                     bool fromStart);

// Moves the item as a whole by (dx, dy): every coordinate shifts by the
// offset and a line's middle handle stays the rounded midpoint of its ends.
// Coordinates saturate at the 16-bit limits.
void translateItem(Expression& e, ItemRef item, int dx, int dy);
void translateItems(Expression& e, const Selection& s, int dx, int dy);

// The offsets by which the selected items may move together: each item's
// carrying handle stays on `canvas` (an item already off it may come back
// but not go further) and every coordinate stays within 16 bits. The range
// always holds (0, 0).
struct OffsetBounds {
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
    QPoint clamp(QPoint d) const;
};
OffsetBounds offsetBounds(const Expression& e, const Selection& s, const QRect& canvas);

// Deletes every selected item (its live value := 0). Returns whether any
// was live.
bool deleteItems(Expression& e, const Selection& s);

// The selected live items as an expression of their own, in table and row
// order, each row as it is (a line's middle handle included).
Expression selectedItems(const Expression& e, const Selection& s);

// Appends copies of the selected items moved by `offset` and selects them
// in `added`. All or nothing: false, with `e` unchanged, when a table would
// grow past MaxTableRows.
bool appendCopies(Expression& e, const Selection& s, QPoint offset, Selection& added);

// Alignment of several items by their ink.
enum class Alignment { Left, Centre, Right, Top, Middle, Bottom, Baseline };

// What alignment knows of an item: its ink on the canvas (pixels, edges
// included) and, for a text item, the row of its baseline.
struct ItemInk {
    ItemRef item;
    QRect ink;
    std::optional<int> baseline;
};

// The offset each item moves by. Left, Right, Top and Bottom bring each
// ink edge to the outermost one; Centre and Middle bring each ink's centre
// to the centre of all the ink together (a half pixel to the even
// neighbour). Baseline moves the text items only, onto the baseline of the
// leftmost text item (the topmost of those leftmost); lines stay.
std::vector<QPoint> alignmentOffsets(const std::vector<ItemInk>& items, Alignment how);

// The horizontal offsets that centre each text item's ink on the bar of the
// horizontal line in row `hLine` (a half pixel to the even neighbour).
std::vector<QPoint> centreOnLineOffsets(const std::vector<ItemInk>& texts, const Expression& e,
                                        std::int32_t hLine);

} // namespace quill
