#include "edit/history.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

namespace quill {

namespace {

// Whether rows [from, to) of two columns are equal: one memcmp for numbers.
template <typename T>
bool sameRange(const std::vector<T>& a, const std::vector<T>& b, std::size_t from, std::size_t to) {
    if constexpr (std::is_trivially_copyable_v<T>) {
        return std::memcmp(a.data() + from, b.data() + from, (to - from) * sizeof(T)) == 0;
    } else {
        for (std::size_t i = from; i < to; ++i)
            if (a[i].size() != b[i].size() ||
                std::memcmp(a[i].data(), b[i].data(), a[i].size()) != 0)
                return false;
        return true;
    }
}

// Row access by table, so one comparison and one write serve all three.
struct TextAccess {
    template <typename Row> static Row get(const TextItemTable& t, std::size_t i) {
        Row r;
        r.fontName = t.fontName[i];
        r.text = t.text[i];
        r.values[0] = t.fontBold[i];
        r.values[1] = t.fontItalic[i];
        r.values[2] = t.fontSize[i];
        r.values[3] = t.x[i];
        r.values[4] = t.y[i];
        r.values[5] = t.markerX[i];
        r.values[6] = t.markerY[i];
        r.values[7] = t.height[i];
        r.values[8] = t.live[i];
        return r;
    }
    static bool sameRows(const TextItemTable& a, const TextItemTable& b, std::size_t from,
                         std::size_t to) {
        return sameRange(a.x, b.x, from, to) && sameRange(a.y, b.y, from, to) &&
               sameRange(a.markerX, b.markerX, from, to) &&
               sameRange(a.markerY, b.markerY, from, to) && sameRange(a.live, b.live, from, to) &&
               sameRange(a.height, b.height, from, to) &&
               sameRange(a.fontSize, b.fontSize, from, to) &&
               sameRange(a.fontBold, b.fontBold, from, to) &&
               sameRange(a.fontItalic, b.fontItalic, from, to) &&
               sameRange(a.text, b.text, from, to) && sameRange(a.fontName, b.fontName, from, to);
    }
    static bool same(const TextItemTable& a, const TextItemTable& b, std::size_t i) {
        return a.x[i] == b.x[i] && a.y[i] == b.y[i] && a.markerX[i] == b.markerX[i] &&
               a.markerY[i] == b.markerY[i] && a.live[i] == b.live[i] &&
               a.height[i] == b.height[i] && a.fontSize[i] == b.fontSize[i] &&
               a.fontBold[i] == b.fontBold[i] && a.fontItalic[i] == b.fontItalic[i] &&
               a.text[i] == b.text[i] && a.fontName[i] == b.fontName[i];
    }
    template <typename Row> static void set(TextItemTable& t, std::size_t i, const Row& r) {
        t.fontName[i] = r.fontName;
        t.text[i] = r.text;
        t.fontBold[i] = r.values[0];
        t.fontItalic[i] = r.values[1];
        t.fontSize[i] = r.values[2];
        t.x[i] = r.values[3];
        t.y[i] = r.values[4];
        t.markerX[i] = r.values[5];
        t.markerY[i] = r.values[6];
        t.height[i] = r.values[7];
        t.live[i] = r.values[8];
    }
};

// Both line tables have six int16 columns; the order is the table's own.
template <typename Table> auto lineColumns(Table& t) {
    if constexpr (requires { t.midX; })
        return std::array{&t.midX, &t.y, &t.x1, &t.x2, &t.width, &t.live};
    else
        return std::array{&t.x, &t.midY, &t.y1, &t.y2, &t.width, &t.live};
}

struct LineAccess {
    template <typename Row, typename Table> static Row get(const Table& t, std::size_t i) {
        Row r;
        const auto cols = lineColumns(t);
        for (std::size_t c = 0; c < cols.size(); ++c)
            r.values[c] = (*cols[c])[i];
        return r;
    }
    template <typename Table>
    static bool sameRows(const Table& a, const Table& b, std::size_t from, std::size_t to) {
        const auto ca = lineColumns(a);
        const auto cb = lineColumns(b);
        for (std::size_t c = 0; c < ca.size(); ++c)
            if (!sameRange(*ca[c], *cb[c], from, to))
                return false;
        return true;
    }
    template <typename Table> static bool same(const Table& a, const Table& b, std::size_t i) {
        const auto ca = lineColumns(a);
        const auto cb = lineColumns(b);
        for (std::size_t c = 0; c < ca.size(); ++c)
            if ((*ca[c])[i] != (*cb[c])[i])
                return false;
        return true;
    }
    template <typename Row, typename Table> static void set(Table& t, std::size_t i, const Row& r) {
        const auto cols = lineColumns(t);
        for (std::size_t c = 0; c < cols.size(); ++c)
            (*cols[c])[i] = r.values[c];
    }
};

template <typename Access, typename Row, typename Table, typename Change, typename Shape>
void tableDifference(const Table& before, const Table& after, VbBool existsBefore,
                     std::int32_t lastBefore, VbBool existsAfter, std::int32_t lastAfter,
                     Change& change) {
    change.before = Shape{existsBefore, lastBefore, static_cast<std::uint32_t>(before.rows())};
    change.after = Shape{existsAfter, lastAfter, static_cast<std::uint32_t>(after.rows())};
    const std::size_t common = std::min(before.rows(), after.rows());
    // Most steps change a row or two: blocks of rows are compared column by
    // column first, and only a block that differs row by row.
    constexpr std::size_t Block = 256;
    for (std::size_t i = 0; i < common; ++i) {
        if (i % Block == 0) {
            const std::size_t end = std::min(common, i + Block);
            if (Access::sameRows(before, after, i, end)) {
                i = end - 1;
                continue;
            }
        }
        if (Access::same(before, after, i))
            continue;
        change.oldRows.emplace_back(static_cast<std::uint32_t>(i),
                                    Access::template get<Row>(before, i));
        change.newRows.emplace_back(static_cast<std::uint32_t>(i),
                                    Access::template get<Row>(after, i));
    }
    for (std::size_t i = common; i < before.rows(); ++i)
        change.oldRows.emplace_back(static_cast<std::uint32_t>(i),
                                    Access::template get<Row>(before, i));
    for (std::size_t i = common; i < after.rows(); ++i)
        change.newRows.emplace_back(static_cast<std::uint32_t>(i),
                                    Access::template get<Row>(after, i));
}

template <typename Access, typename Table, typename Change>
void applyTable(Table& table, VbBool& exists, std::int32_t& last, const Change& change,
                bool forward) {
    const auto& shape = forward ? change.after : change.before;
    const auto& rows = forward ? change.newRows : change.oldRows;
    if (table.rows() != shape.rows)
        table.redim(shape.rows, true);
    for (const auto& [index, row] : rows)
        Access::set(table, index, row);
    exists = shape.exists;
    last = shape.last;
}

template <typename Change> bool shapeKept(const Change& c) {
    return c.before.exists == c.after.exists && c.before.last == c.after.last &&
           c.before.rows == c.after.rows;
}

// Two changes of one table in a row as one: the rows the first changed keep
// their old values from it, the others from the second; the new values are
// the second's where it changed a row, else the first's. A run of arrow
// presses changes the same rows each time: then only the new values move.
template <typename Change> void mergeTable(Change& into, Change&& next) {
    using Rows = decltype(into.oldRows);
    auto sameRowsChanged = [](const Rows& a, const Rows& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const auto& x, const auto& y) { return x.first == y.first; });
    };
    if (sameRowsChanged(into.oldRows, next.oldRows) &&
        sameRowsChanged(into.newRows, next.newRows)) {
        into.newRows = std::move(next.newRows);
        into.after = next.after;
        return;
    }
    auto unite = [](Rows& preferred, Rows& other) {
        Rows out;
        out.reserve(preferred.size() + other.size());
        auto a = preferred.begin();
        auto b = other.begin();
        while (a != preferred.end() || b != other.end()) {
            if (b == other.end() || (a != preferred.end() && a->first <= b->first)) {
                if (b != other.end() && b->first == a->first)
                    ++b;
                out.push_back(std::move(*a++));
            } else {
                out.push_back(std::move(*b++));
            }
        }
        return out;
    };
    into.oldRows = unite(into.oldRows, next.oldRows);
    into.newRows = unite(next.newRows, into.newRows);
    into.after = next.after;
}

std::size_t stringBytes(const std::string& s) {
    // Short strings live inside the string object itself.
    return s.capacity() > 15 ? s.capacity() + 1 : 0;
}

} // namespace

History::History(std::size_t memoryBound) : m_memoryBound(memoryBound) {}

void History::reset(const Expression& state, Revision revision) {
    m_steps.clear();
    m_place = 0;
    m_memoryUsed = 0;
    m_current = state;
    m_revision = revision;
}

History::Step History::difference(const Expression& before, const Expression& after) {
    Step s;
    tableDifference<TextAccess, TextRow, TextItemTable, TableChange<TextRow>, Shape>(
        before.TextItems, after.TextItems, before.textItemsExist, before.lastTextItem,
        after.textItemsExist, after.lastTextItem, s.text);
    tableDifference<LineAccess, LineRow, HLineTable, TableChange<LineRow>, Shape>(
        before.HLines, after.HLines, before.hLinesExist, before.lastHLine, after.hLinesExist,
        after.lastHLine, s.hLines);
    tableDifference<LineAccess, LineRow, VLineTable, TableChange<LineRow>, Shape>(
        before.VLines, after.VLines, before.vLinesExist, before.lastVLine, after.vLinesExist,
        after.lastVLine, s.vLines);
    return s;
}

std::size_t History::stepBytes(const Step& step) {
    std::size_t bytes = sizeof(Step) + 64; // the step and its place in the list
    auto rows = [&](const auto& list) { bytes += list.capacity() * sizeof(list[0]); };
    rows(step.text.oldRows);
    rows(step.text.newRows);
    for (const auto* list : {&step.text.oldRows, &step.text.newRows})
        for (const auto& [index, row] : *list)
            bytes += stringBytes(row.fontName) + stringBytes(row.text);
    rows(step.hLines.oldRows);
    rows(step.hLines.newRows);
    rows(step.vLines.oldRows);
    rows(step.vLines.newRows);
    return bytes;
}

void History::apply(Expression& expr, const Step& step, bool forward) {
    applyTable<TextAccess>(expr.TextItems, expr.textItemsExist, expr.lastTextItem, step.text,
                           forward);
    applyTable<LineAccess>(expr.HLines, expr.hLinesExist, expr.lastHLine, step.hLines, forward);
    applyTable<LineAccess>(expr.VLines, expr.vLinesExist, expr.lastVLine, step.vLines, forward);
}

void History::record(const Expression& state, Revision revision) {
    Step step = difference(m_current, state);
    const bool unchanged = step.text.oldRows.empty() && step.text.newRows.empty() &&
                           step.hLines.oldRows.empty() && step.hLines.newRows.empty() &&
                           step.vLines.oldRows.empty() && step.vLines.newRows.empty() &&
                           step.text.before.exists == step.text.after.exists &&
                           step.text.before.last == step.text.after.last &&
                           step.hLines.before.exists == step.hLines.after.exists &&
                           step.hLines.before.last == step.hLines.after.last &&
                           step.vLines.before.exists == step.vLines.after.exists &&
                           step.vLines.before.last == step.vLines.after.last;
    if (unchanged && revision == m_revision)
        return;
    // A new change ends every redo.
    while (m_steps.size() > m_place) {
        m_memoryUsed -= m_steps.back().bytes;
        m_steps.pop_back();
    }
    step.revisionBefore = m_revision;
    step.revisionAfter = revision;
    for (auto* list : {&step.text.oldRows, &step.text.newRows})
        list->shrink_to_fit();
    for (auto* list :
         {&step.hLines.oldRows, &step.hLines.newRows, &step.vLines.oldRows, &step.vLines.newRows})
        list->shrink_to_fit();
    step.bytes = stepBytes(step);
    m_memoryUsed += step.bytes;
    apply(m_current, step, true);
    m_revision = revision;
    m_steps.push_back(std::move(step));
    ++m_place;
    while (m_memoryUsed > m_memoryBound && !m_steps.empty())
        dropOldest();
}

bool History::keepsShapes(const Step& step) {
    return shapeKept(step.text) && shapeKept(step.hLines) && shapeKept(step.vLines);
}

void History::merge(Step& into, Step&& next) {
    mergeTable(into.text, std::move(next.text));
    mergeTable(into.hLines, std::move(next.hLines));
    mergeTable(into.vLines, std::move(next.vLines));
    into.revisionAfter = next.revisionAfter;
}

void History::extendLast(const Expression& state, Revision revision) {
    if (!canUndo() || canRedo() || !keepsShapes(m_steps.back())) {
        record(state, revision);
        return;
    }
    Step next = difference(m_current, state);
    if (!keepsShapes(next)) {
        record(state, revision);
        return;
    }
    next.revisionAfter = revision;
    apply(m_current, next, true);
    Step& last = m_steps.back();
    m_memoryUsed -= last.bytes;
    merge(last, std::move(next));
    last.bytes = stepBytes(last);
    m_memoryUsed += last.bytes;
    m_revision = revision;
    while (m_memoryUsed > m_memoryBound && !m_steps.empty())
        dropOldest();
}

void History::dropOldest() {
    m_memoryUsed -= m_steps.front().bytes;
    m_steps.pop_front();
    if (m_place > 0)
        --m_place;
}

bool History::undo(Expression& expr, Revision& revision) {
    if (!canUndo())
        return false;
    const Step& step = m_steps[m_place - 1];
    apply(expr, step, false);
    apply(m_current, step, false);
    m_revision = revision = step.revisionBefore;
    --m_place;
    return true;
}

bool History::redo(Expression& expr, Revision& revision) {
    if (!canRedo())
        return false;
    const Step& step = m_steps[m_place];
    apply(expr, step, true);
    apply(m_current, step, true);
    m_revision = revision = step.revisionAfter;
    ++m_place;
    return true;
}

} // namespace quill
