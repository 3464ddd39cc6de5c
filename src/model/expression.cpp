#include "model/expression.h"

#include <algorithm>

namespace quill {

namespace {

template <typename... Columns>
void redimColumns(std::size_t n, bool preserve, Columns&... columns) {
    if (!preserve)
        (columns.clear(), ...);
    (columns.resize(n), ...);
}

// The row an append writes: after the highest row ever used while the table
// exists, else row 0 of a freshly re-dimensioned table. -1 when full.
template <typename Table> long appendRow(Table& table, VbBool& exists, std::int32_t& last) {
    if (exists == VbTrue) {
        const std::size_t n = table.rows();
        if (n >= static_cast<std::size_t>(MaxTableRows))
            return -1;
        table.redim(n + 1, true);
        last = static_cast<std::int32_t>(n);
        return static_cast<long>(n);
    }
    table.redim(1, false);
    exists = VbTrue;
    last = 0;
    return 0;
}

template <typename Table>
std::int32_t rowCount(const Table& table, VbBool exists, std::int32_t last) {
    if (exists == VbFalse || last < 0)
        return 0;
    const auto available =
        static_cast<std::int32_t>(std::min<std::size_t>(table.rows(), MaxTableRows));
    return std::min(last + 1, available);
}

} // namespace

void TextItemTable::redim(std::size_t n, bool preserve) {
    redimColumns(n, preserve, fontName, fontBold, fontItalic, fontSize, text, x, y, markerX,
                 markerY, height, live);
}

void HLineTable::redim(std::size_t n, bool preserve) {
    redimColumns(n, preserve, midX, y, x1, x2, width, live);
}

void VLineTable::redim(std::size_t n, bool preserve) {
    redimColumns(n, preserve, x, midY, y1, y2, width, live);
}

bool Expression::AddTextItem(const std::string& name, VbBool bold, VbBool italic, std::int16_t size,
                             const std::string& str, std::int16_t px, std::int16_t py,
                             std::int16_t mx, std::int16_t my, std::int16_t h) {
    const long row = appendRow(TextItems, textItemsExist, lastTextItem);
    if (row < 0)
        return false;
    auto& t = TextItems;
    const auto i = static_cast<std::size_t>(row);
    t.fontName[i] = name;
    t.fontBold[i] = bold;
    t.fontItalic[i] = italic;
    t.fontSize[i] = size;
    t.text[i] = str;
    t.x[i] = px;
    t.y[i] = py;
    t.markerX[i] = mx;
    t.markerY[i] = my;
    t.height[i] = h;
    t.live[i] = VbTrue;
    return true;
}

bool Expression::AddHLine(std::int16_t py, std::int16_t px1, std::int16_t px2, std::int16_t w) {
    const long row = appendRow(HLines, hLinesExist, lastHLine);
    if (row < 0)
        return false;
    const auto i = static_cast<std::size_t>(row);
    HLines.midX[i] = midpoint16(px1, px2);
    HLines.y[i] = py;
    HLines.x1[i] = px1;
    HLines.x2[i] = px2;
    HLines.width[i] = w;
    HLines.live[i] = VbTrue;
    return true;
}

bool Expression::AddVLine(std::int16_t px, std::int16_t py1, std::int16_t py2, std::int16_t w) {
    const long row = appendRow(VLines, vLinesExist, lastVLine);
    if (row < 0)
        return false;
    const auto i = static_cast<std::size_t>(row);
    VLines.x[i] = px;
    VLines.midY[i] = midpoint16(py1, py2);
    VLines.y1[i] = py1;
    VLines.y2[i] = py2;
    VLines.width[i] = w;
    VLines.live[i] = VbTrue;
    return true;
}

void Expression::ClearExpression() {
    HLines.redim(1, false);
    hLinesExist = VbFalse;
    VLines.redim(1, false);
    vLinesExist = VbFalse;
    TextItems.redim(1, false);
    textItemsExist = VbFalse;
}

std::int32_t Expression::textRowCount() const {
    return rowCount(TextItems, textItemsExist, lastTextItem);
}
std::int32_t Expression::hLineRowCount() const {
    return rowCount(HLines, hLinesExist, lastHLine);
}
std::int32_t Expression::vLineRowCount() const {
    return rowCount(VLines, vLinesExist, lastVLine);
}

} // namespace quill
