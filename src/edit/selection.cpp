#include "edit/selection.h"

#include "edit/pasteitems.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <tuple>

namespace quill {

namespace {

constexpr int Min16 = std::numeric_limits<std::int16_t>::min();
constexpr int Max16 = std::numeric_limits<std::int16_t>::max();

std::int32_t rowsOf(const Expression& e, std::int16_t kind) {
    switch (kind) {
    case hitkind::Text:
        return e.textRowCount();
    case hitkind::HLine:
        return e.hLineRowCount();
    case hitkind::VLine:
        return e.vLineRowCount();
    default:
        return 0;
    }
}

const std::vector<VbBool>& liveColumn(const Expression& e, std::int16_t kind) {
    switch (kind) {
    case hitkind::HLine:
        return e.HLines.live;
    case hitkind::VLine:
        return e.VLines.live;
    default:
        return e.TextItems.live;
    }
}

constexpr std::int16_t Kinds[] = {hitkind::Text, hitkind::HLine, hitkind::VLine};

template <typename Table> std::int32_t nextRow(const Table& t, VbBool exists) {
    return exists == VbTrue ? static_cast<std::int32_t>(t.rows()) : 0;
}

// Division by 2 rounding down and up, for negative numbers too.
int floorHalf(int v) {
    return v >= 0 ? v / 2 : -((1 - v) / 2);
}
int ceilHalf(int v) {
    return -floorHalf(-v);
}

// Half of a doubled distance, a half to the even neighbour.
int halfToEven(int doubled) {
    if (doubled % 2 == 0)
        return doubled / 2;
    const int below = floorHalf(doubled);
    return below % 2 == 0 ? below : below + 1;
}

// Where an item's carrying handle is, doubled (a line's middle handle is
// the rounded midpoint of its ends, so its exact place is their sum), and
// its coordinates' extremes, for the offsets that keep it where it may be.
struct Extent {
    int carryX2 = 0, carryY2 = 0;
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
};

Extent extentOf(const Expression& e, ItemRef item) {
    const auto r = static_cast<std::size_t>(item.row);
    Extent x;
    switch (item.kind) {
    case hitkind::Text: {
        const auto& t = e.TextItems;
        x.carryX2 = 2 * t.markerX[r];
        x.carryY2 = 2 * t.markerY[r];
        x.minX = std::min(t.x[r], t.markerX[r]);
        x.maxX = std::max(t.x[r], t.markerX[r]);
        x.minY = std::min(t.y[r], t.markerY[r]);
        x.maxY = std::max(t.y[r], t.markerY[r]);
        break;
    }
    case hitkind::HLine: {
        const auto& h = e.HLines;
        x.carryX2 = h.x1[r] + h.x2[r];
        x.carryY2 = 2 * h.y[r];
        x.minX = std::min({h.x1[r], h.x2[r], h.midX[r]});
        x.maxX = std::max({h.x1[r], h.x2[r], h.midX[r]});
        x.minY = x.maxY = h.y[r];
        break;
    }
    default: {
        const auto& v = e.VLines;
        x.carryX2 = 2 * v.x[r];
        x.carryY2 = v.y1[r] + v.y2[r];
        x.minX = x.maxX = v.x[r];
        x.minY = std::min({v.y1[r], v.y2[r], v.midY[r]});
        x.maxY = std::max({v.y1[r], v.y2[r], v.midY[r]});
        break;
    }
    }
    return x;
}

} // namespace

RowCounts nextAppendRows(const Expression& e) {
    return {nextRow(e.TextItems, e.textItemsExist), nextRow(e.HLines, e.hLinesExist),
            nextRow(e.VLines, e.vLinesExist)};
}

// --- Selection ---------------------------------------------------------------

std::size_t Selection::slot(std::int16_t kind) {
    return kind == hitkind::HLine ? 1 : kind == hitkind::VLine ? 2 : 0;
}

bool Selection::empty() const {
    return m_rows[0].empty() && m_rows[1].empty() && m_rows[2].empty();
}

std::size_t Selection::size() const {
    return m_rows[0].size() + m_rows[1].size() + m_rows[2].size();
}

bool Selection::contains(ItemRef item) const {
    if (item.kind < hitkind::Text || item.kind > hitkind::VLine)
        return false;
    const auto& rows = m_rows[slot(item.kind)];
    return std::binary_search(rows.begin(), rows.end(), item.row);
}

bool Selection::add(ItemRef item) {
    if (item.kind < hitkind::Text || item.kind > hitkind::VLine || item.row < 0)
        return false;
    auto& rows = m_rows[slot(item.kind)];
    const auto at = std::lower_bound(rows.begin(), rows.end(), item.row);
    if (at != rows.end() && *at == item.row)
        return false;
    rows.insert(at, item.row);
    return true;
}

bool Selection::remove(ItemRef item) {
    if (item.kind < hitkind::Text || item.kind > hitkind::VLine)
        return false;
    auto& rows = m_rows[slot(item.kind)];
    const auto at = std::lower_bound(rows.begin(), rows.end(), item.row);
    if (at == rows.end() || *at != item.row)
        return false;
    rows.erase(at);
    return true;
}

bool Selection::toggle(ItemRef item) {
    return remove(item) || add(item);
}

bool Selection::clear() {
    const bool had = !empty();
    for (auto& rows : m_rows)
        rows.clear();
    return had;
}

void Selection::selectAll(const Expression& e) {
    for (const std::int16_t kind : Kinds) {
        auto& rows = m_rows[slot(kind)];
        rows.clear();
        const auto& live = liveColumn(e, kind);
        const std::int32_t n = rowsOf(e, kind);
        for (std::int32_t i = 0; i < n; ++i)
            if (live[static_cast<std::size_t>(i)] != VbFalse)
                rows.push_back(i);
    }
}

void Selection::selectAppended(RowCounts before, const Expression& e) {
    const std::int32_t firsts[] = {before.text, before.hLines, before.vLines};
    for (const std::int16_t kind : Kinds) {
        auto& rows = m_rows[slot(kind)];
        rows.clear();
        const auto& live = liveColumn(e, kind);
        const std::int32_t n = rowsOf(e, kind);
        for (std::int32_t i = std::max(0, firsts[slot(kind)]); i < n; ++i)
            if (live[static_cast<std::size_t>(i)] != VbFalse)
                rows.push_back(i);
    }
}

void Selection::unite(const Selection& other) {
    for (std::size_t k = 0; k < m_rows.size(); ++k) {
        if (other.m_rows[k].empty())
            continue;
        std::vector<std::int32_t> merged;
        merged.reserve(m_rows[k].size() + other.m_rows[k].size());
        std::set_union(m_rows[k].begin(), m_rows[k].end(), other.m_rows[k].begin(),
                       other.m_rows[k].end(), std::back_inserter(merged));
        m_rows[k] = std::move(merged);
    }
}

bool Selection::prune(const Expression& e) {
    bool changed = false;
    for (const std::int16_t kind : Kinds) {
        auto& rows = m_rows[slot(kind)];
        const auto& live = liveColumn(e, kind);
        const std::int32_t n = rowsOf(e, kind);
        const auto gone = std::remove_if(rows.begin(), rows.end(), [&](std::int32_t r) {
            return r >= n || live[static_cast<std::size_t>(r)] == VbFalse;
        });
        changed |= gone != rows.end();
        rows.erase(gone, rows.end());
    }
    return changed;
}

const std::vector<std::int32_t>& Selection::rows(std::int16_t kind) const {
    return m_rows[slot(kind)];
}

std::vector<ItemRef> Selection::items() const {
    std::vector<ItemRef> out;
    out.reserve(size());
    for (const std::int16_t kind : Kinds)
        for (const std::int32_t r : m_rows[slot(kind)])
            out.push_back({kind, r});
    return out;
}

// --- Items -------------------------------------------------------------------

bool isLiveItem(const Expression& e, ItemRef item) {
    if (item.kind < hitkind::Text || item.kind > hitkind::VLine || item.row < 0 ||
        item.row >= rowsOf(e, item.kind))
        return false;
    return liveColumn(e, item.kind)[static_cast<std::size_t>(item.row)] != VbFalse;
}

QPoint carryingHandle(const Expression& e, ItemRef item) {
    const auto r = static_cast<std::size_t>(item.row);
    switch (item.kind) {
    case hitkind::Text:
        return {e.TextItems.markerX[r], e.TextItems.markerY[r]};
    case hitkind::HLine:
        return {e.HLines.midX[r], e.HLines.y[r]};
    default:
        return {e.VLines.x[r], e.VLines.midY[r]};
    }
}

Selection itemsInside(const Expression& e, const QRect& area) {
    Selection s;
    if (area.isEmpty())
        return s;
    for (const std::int16_t kind : Kinds) {
        const auto& live = liveColumn(e, kind);
        const std::int32_t n = rowsOf(e, kind);
        for (std::int32_t i = 0; i < n; ++i) {
            if (live[static_cast<std::size_t>(i)] == VbFalse)
                continue;
            const ItemRef item{kind, i};
            bool inside = true;
            forEachHandle(e, item, [&](QPoint h) { inside = inside && area.contains(h); });
            if (inside)
                s.add(item); // rows come in ascending order: appended at the end
        }
    }
    return s;
}

std::vector<ItemRef> itemsByPosition(const Expression& e) {
    struct Placed {
        int left, top;
        ItemRef item;
    };
    std::vector<Placed> placed;
    for (const std::int16_t kind : Kinds) {
        const auto& live = liveColumn(e, kind);
        const std::int32_t n = rowsOf(e, kind);
        for (std::int32_t i = 0; i < n; ++i) {
            if (live[static_cast<std::size_t>(i)] == VbFalse)
                continue;
            const ItemRef item{kind, i};
            int left = Max16, top = Max16;
            forEachHandle(e, item, [&](QPoint h) {
                left = std::min(left, h.x());
                top = std::min(top, h.y());
            });
            placed.push_back({left, top, item});
        }
    }
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return std::tie(a.left, a.top, a.item.kind, a.item.row) <
               std::tie(b.left, b.top, b.item.kind, b.item.row);
    });
    std::vector<ItemRef> out;
    out.reserve(placed.size());
    for (const Placed& p : placed)
        out.push_back(p.item);
    return out;
}

std::optional<ItemRef> neighbourItem(const Expression& e, const Selection& s, bool forward,
                                     bool fromStart) {
    const std::vector<ItemRef> order = itemsByPosition(e);
    if (order.empty())
        return std::nullopt;
    if (fromStart || s.empty())
        return forward ? order.front() : order.back();
    // The last selected item in order (forward) or the first (backward).
    std::optional<std::size_t> at;
    for (std::size_t i = 0; i < order.size(); ++i)
        if (s.contains(order[i]) && (forward || !at))
            at = i;
    if (!at) // nothing selected is live: start afresh
        return forward ? order.front() : order.back();
    if (forward)
        return *at + 1 < order.size() ? std::optional(order[*at + 1]) : std::nullopt;
    return *at > 0 ? std::optional(order[*at - 1]) : std::nullopt;
}

// --- Moving ------------------------------------------------------------------

void translateItem(Expression& e, ItemRef item, int dx, int dy) {
    if (item.row < 0 || item.row >= rowsOf(e, item.kind))
        return;
    const auto r = static_cast<std::size_t>(item.row);
    switch (item.kind) {
    case hitkind::Text: {
        auto& t = e.TextItems;
        t.x[r] = add16(t.x[r], dx);
        t.y[r] = add16(t.y[r], dy);
        t.markerX[r] = add16(t.markerX[r], dx);
        t.markerY[r] = add16(t.markerY[r], dy);
        break;
    }
    case hitkind::HLine: {
        auto& h = e.HLines;
        h.y[r] = add16(h.y[r], dy);
        h.x1[r] = add16(h.x1[r], dx);
        h.x2[r] = add16(h.x2[r], dx);
        h.midX[r] = midpoint16(h.x1[r], h.x2[r]);
        break;
    }
    case hitkind::VLine: {
        auto& v = e.VLines;
        v.x[r] = add16(v.x[r], dx);
        v.y1[r] = add16(v.y1[r], dy);
        v.y2[r] = add16(v.y2[r], dy);
        v.midY[r] = midpoint16(v.y1[r], v.y2[r]);
        break;
    }
    default:
        break;
    }
}

void translateItems(Expression& e, const Selection& s, int dx, int dy) {
    if (dx == 0 && dy == 0)
        return;
    for (const std::int16_t kind : Kinds)
        for (const std::int32_t r : s.rows(kind))
            translateItem(e, {kind, r}, dx, dy);
}

QPoint OffsetBounds::clamp(QPoint d) const {
    return {std::clamp(d.x(), minX, maxX), std::clamp(d.y(), minY, maxY)};
}

OffsetBounds offsetBounds(const Expression& e, const Selection& s, const QRect& canvas) {
    OffsetBounds b{Min16 - Max16, Max16 - Min16, Min16 - Max16, Max16 - Min16};
    // One axis: the carrying handle (doubled) within [lo, hi], else no
    // further out than it is; every coordinate within 16 bits.
    auto limit = [](int& minD, int& maxD, int carry2, int lo, int hi, int minV, int maxV) {
        minD = std::max({minD, std::min(ceilHalf(2 * lo - carry2), 0), Min16 - minV});
        maxD = std::min({maxD, std::max(floorHalf(2 * hi - carry2), 0), Max16 - maxV});
    };
    for (const std::int16_t kind : Kinds) {
        for (const std::int32_t r : s.rows(kind)) {
            const ItemRef item{kind, r};
            if (!isLiveItem(e, item))
                continue;
            const Extent x = extentOf(e, item);
            limit(b.minX, b.maxX, x.carryX2, canvas.left(), canvas.right(), x.minX, x.maxX);
            limit(b.minY, b.maxY, x.carryY2, canvas.top(), canvas.bottom(), x.minY, x.maxY);
        }
    }
    return b;
}

// --- Deleting and copying ----------------------------------------------------

bool deleteItems(Expression& e, const Selection& s) {
    bool any = false;
    for (const std::int16_t kind : Kinds) {
        const std::int32_t n = rowsOf(e, kind);
        for (const std::int32_t r : s.rows(kind)) {
            if (r >= n)
                continue;
            const auto i = static_cast<std::size_t>(r);
            VbBool& live = kind == hitkind::Text    ? e.TextItems.live[i]
                           : kind == hitkind::HLine ? e.HLines.live[i]
                                                    : e.VLines.live[i];
            any |= live != VbFalse;
            live = VbFalse;
        }
    }
    return any;
}

Expression selectedItems(const Expression& e, const Selection& s) {
    Expression out;
    const auto& t = e.TextItems;
    for (const std::int32_t r : s.rows(hitkind::Text)) {
        if (!isLiveItem(e, {hitkind::Text, r}))
            continue;
        const auto i = static_cast<std::size_t>(r);
        out.AddTextItem(t.fontName[i], t.fontBold[i], t.fontItalic[i], t.fontSize[i], t.text[i],
                        t.x[i], t.y[i], t.markerX[i], t.markerY[i], t.height[i]);
    }
    const auto& h = e.HLines;
    for (const std::int32_t r : s.rows(hitkind::HLine)) {
        if (!isLiveItem(e, {hitkind::HLine, r}))
            continue;
        const auto i = static_cast<std::size_t>(r);
        out.AddHLine(h.y[i], h.x1[i], h.x2[i], h.width[i]);
        out.HLines.midX[static_cast<std::size_t>(out.lastHLine)] = h.midX[i];
    }
    const auto& v = e.VLines;
    for (const std::int32_t r : s.rows(hitkind::VLine)) {
        if (!isLiveItem(e, {hitkind::VLine, r}))
            continue;
        const auto i = static_cast<std::size_t>(r);
        out.AddVLine(v.x[i], v.y1[i], v.y2[i], v.width[i]);
        out.VLines.midY[static_cast<std::size_t>(out.lastVLine)] = v.midY[i];
    }
    return out;
}

bool appendCopies(Expression& e, const Selection& s, QPoint offset, Selection& added) {
    Expression copies = selectedItems(e, s);
    for (const std::int16_t kind : Kinds)
        for (std::int32_t r = 0; r < rowsOf(copies, kind); ++r)
            translateItem(copies, {kind, r}, offset.x(), offset.y());
    const RowCounts before = nextAppendRows(e);
    if (!appendLiveItems(e, copies))
        return false;
    added.selectAppended(before, e);
    return true;
}

// --- Alignment ---------------------------------------------------------------

std::vector<QPoint> alignmentOffsets(const std::vector<ItemInk>& items, Alignment how) {
    std::vector<QPoint> out(items.size());
    if (items.empty())
        return out;
    if (how == Alignment::Baseline) {
        const ItemInk* first = nullptr;
        for (const ItemInk& i : items)
            if (i.baseline && (!first || std::pair(i.ink.left(), i.ink.top()) <
                                             std::pair(first->ink.left(), first->ink.top())))
                first = &i;
        if (!first)
            return out;
        for (std::size_t k = 0; k < items.size(); ++k)
            if (items[k].baseline)
                out[k] = QPoint(0, *first->baseline - *items[k].baseline);
        return out;
    }
    QRect all;
    for (const ItemInk& i : items)
        all |= i.ink;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const QRect& r = items[k].ink;
        switch (how) {
        case Alignment::Left:
            out[k].setX(all.left() - r.left());
            break;
        case Alignment::Right:
            out[k].setX(all.right() - r.right());
            break;
        case Alignment::Centre:
            out[k].setX(halfToEven(all.left() + all.right() - r.left() - r.right()));
            break;
        case Alignment::Top:
            out[k].setY(all.top() - r.top());
            break;
        case Alignment::Bottom:
            out[k].setY(all.bottom() - r.bottom());
            break;
        case Alignment::Middle:
            out[k].setY(halfToEven(all.top() + all.bottom() - r.top() - r.bottom()));
            break;
        case Alignment::Baseline:
            break;
        }
    }
    return out;
}

std::vector<QPoint> centreOnLineOffsets(const std::vector<ItemInk>& texts, const Expression& e,
                                        std::int32_t hLine) {
    std::vector<QPoint> out(texts.size());
    if (!isLiveItem(e, {hitkind::HLine, hLine}))
        return out;
    // The bar runs as far past one end handle as past the other, so its
    // centre (doubled) is the sum of the ends.
    const auto r = static_cast<std::size_t>(hLine);
    const int bar2 = e.HLines.x1[r] + e.HLines.x2[r];
    for (std::size_t k = 0; k < texts.size(); ++k)
        out[k].setX(halfToEven(bar2 - texts[k].ink.left() - texts[k].ink.right()));
    return out;
}

} // namespace quill
