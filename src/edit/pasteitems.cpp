#include "edit/pasteitems.h"

namespace quill {

namespace {

template <typename Table> std::int32_t liveRows(const Table& t, std::int32_t count) {
    std::int32_t n = 0;
    for (std::int32_t i = 0; i < count; ++i)
        n += t.live[static_cast<std::size_t>(i)] != VbFalse ? 1 : 0;
    return n;
}

template <typename Table> std::int32_t rowsAfterAppend(const Table& t, VbBool exists) {
    return exists == VbTrue ? static_cast<std::int32_t>(t.rows()) : 0;
}

} // namespace

bool hasLiveItem(const Expression& e) {
    return liveRows(e.TextItems, e.textRowCount()) > 0 ||
           liveRows(e.HLines, e.hLineRowCount()) > 0 || liveRows(e.VLines, e.vLineRowCount()) > 0;
}

bool appendLiveItems(Expression& to, const Expression& from) {
    const std::int32_t text = liveRows(from.TextItems, from.textRowCount());
    const std::int32_t h = liveRows(from.HLines, from.hLineRowCount());
    const std::int32_t v = liveRows(from.VLines, from.vLineRowCount());
    if ((text > 0 && rowsAfterAppend(to.TextItems, to.textItemsExist) + text > MaxTableRows) ||
        (h > 0 && rowsAfterAppend(to.HLines, to.hLinesExist) + h > MaxTableRows) ||
        (v > 0 && rowsAfterAppend(to.VLines, to.vLinesExist) + v > MaxTableRows))
        return false;
    const TextItemTable& t = from.TextItems;
    for (std::int32_t r = 0; r < from.textRowCount(); ++r) {
        const auto i = static_cast<std::size_t>(r);
        if (t.live[i] == VbFalse)
            continue;
        to.AddTextItem(t.fontName[i], t.fontBold[i], t.fontItalic[i], t.fontSize[i], t.text[i],
                       t.x[i], t.y[i], t.markerX[i], t.markerY[i], t.height[i]);
    }
    // A line's middle handle is kept as saved, not computed again.
    const HLineTable& hl = from.HLines;
    for (std::int32_t r = 0; r < from.hLineRowCount(); ++r) {
        const auto i = static_cast<std::size_t>(r);
        if (hl.live[i] == VbFalse)
            continue;
        to.AddHLine(hl.y[i], hl.x1[i], hl.x2[i], hl.width[i]);
        to.HLines.midX[static_cast<std::size_t>(to.lastHLine)] = hl.midX[i];
    }
    const VLineTable& vl = from.VLines;
    for (std::int32_t r = 0; r < from.vLineRowCount(); ++r) {
        const auto i = static_cast<std::size_t>(r);
        if (vl.live[i] == VbFalse)
            continue;
        to.AddVLine(vl.x[i], vl.y1[i], vl.y2[i], vl.width[i]);
        to.VLines.midY[static_cast<std::size_t>(to.lastVLine)] = vl.midY[i];
    }
    return true;
}

} // namespace quill
