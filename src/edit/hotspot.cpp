#include "edit/hotspot.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace quill {

namespace {

constexpr int Min16 = std::numeric_limits<std::int16_t>::min();
constexpr int Max16 = std::numeric_limits<std::int16_t>::max();

// Handle (hx, hy) lies in the 7 x 7 square around (x, y). Computed in int so
// that x + 4 near the 16-bit limits does not wrap.
bool grabs(int x, int y, int hx, int hy) {
    return x - 4 < hx && hx < x + 4 && y - 4 < hy && hy < y + 4;
}

// Rows that may be read or written: the walkable rows of the table, but never
// more than every column involved really holds, so a table whose columns
// disagree with its last-row index (a damaged file) cannot be overrun.
template <typename... Columns>
std::int32_t safeRows(std::int32_t walkable, const Columns&... columns) {
    std::size_t n = static_cast<std::size_t>(std::max(walkable, 0));
    ((n = std::min(n, columns.size())), ...);
    return static_cast<std::int32_t>(n);
}

std::int32_t textRows(const Expression& e) {
    const auto& t = e.TextItems;
    return safeRows(e.textRowCount(), t.x, t.y, t.markerX, t.markerY, t.height, t.live);
}

std::int32_t hLineRows(const Expression& e) {
    const auto& h = e.HLines;
    return safeRows(e.hLineRowCount(), h.midX, h.y, h.x1, h.x2, h.live);
}

std::int32_t vLineRows(const Expression& e) {
    const auto& v = e.VLines;
    return safeRows(e.vLineRowCount(), v.x, v.midY, v.y1, v.y2, v.live);
}

// Along a line: the first end, the middle and the second end. Across: the
// coordinate shared by all three handles.
struct LineRef {
    std::int16_t& mid;
    std::int16_t& across;
    std::int16_t& end1;
    std::int16_t& end2;
};

// The first of a line's handles (1, 2, 3) that grabs, or 0. `along` is the
// pointer coordinate along the line, `across` the one across it.
std::int16_t lineHandleAt(int along, int across, int end1, int mid, int end2, int lineAcross) {
    if (grabs(along, across, end1, lineAcross))
        return 1;
    if (grabs(along, across, mid, lineAcross))
        return 2;
    if (grabs(along, across, end2, lineAcross))
        return 3;
    return 0;
}

void moveLine(LineRef l, std::int16_t handle, std::int16_t along, std::int16_t across) {
    switch (handle) {
    case 1:
        l.end1 = along;
        l.mid = midpoint16(l.end1, l.end2);
        break;
    case 2: {
        // The middle handle goes to the pointer and the ends follow. The
        // middle always stays the rounded midpoint of the ends, and the
        // midpoint of a line whose ends sum to an odd number rounds (half
        // to even) to an even number only; for such a line an odd pointer
        // position aims at the even neighbour above it. The aim depends on
        // the pointer alone, so the line never jitters while the pointer
        // moves along the other axis.
        int target = along;
        if (((int{l.end1} + int{l.end2}) & 1) != 0 && (target & 1) != 0)
            target = target < Max16 ? target + 1 : target - 1;
        // Shift both ends, but no further than keeps both inside 16 bits:
        // at the edge the line stops whole rather than being squeezed.
        const int lo = Min16 - std::min<int>(l.end1, l.end2);
        const int hi = Max16 - std::max<int>(l.end1, l.end2);
        const int d = std::clamp(target - int{l.mid}, lo, hi);
        l.across = across;
        l.end1 = add16(l.end1, d);
        l.end2 = add16(l.end2, d);
        l.mid = midpoint16(l.end1, l.end2);
        break;
    }
    case 3:
        l.end2 = along;
        l.mid = midpoint16(l.end1, l.end2);
        break;
    default:
        break;
    }
}

} // namespace

std::int16_t findHotspot(const Expression& e, std::int16_t x, std::int16_t y, std::int16_t& hitRow,
                         std::int16_t& hitHandle) {
    std::int16_t result = hitkind::None;

    const auto& t = e.TextItems;
    const std::int32_t nText = textRows(e);
    for (std::int32_t i = 0; i < nText; ++i) {
        const auto r = static_cast<std::size_t>(i);
        if (t.live[r] != VbFalse && grabs(x, y, t.markerX[r], t.markerY[r])) {
            result = hitkind::Text;
            hitRow = static_cast<std::int16_t>(i);
        }
    }

    const auto& h = e.HLines;
    const std::int32_t nH = hLineRows(e);
    for (std::int32_t i = 0; i < nH; ++i) {
        const auto r = static_cast<std::size_t>(i);
        if (h.live[r] == VbFalse)
            continue;
        const std::int16_t handle = lineHandleAt(x, y, h.x1[r], h.midX[r], h.x2[r], h.y[r]);
        if (handle != 0) {
            result = hitkind::HLine;
            hitRow = static_cast<std::int16_t>(i);
            hitHandle = handle;
        }
    }

    const auto& v = e.VLines;
    const std::int32_t nV = vLineRows(e);
    for (std::int32_t i = 0; i < nV; ++i) {
        const auto r = static_cast<std::size_t>(i);
        if (v.live[r] == VbFalse)
            continue;
        const std::int16_t handle = lineHandleAt(y, x, v.y1[r], v.midY[r], v.y2[r], v.x[r]);
        if (handle != 0) {
            result = hitkind::VLine;
            hitRow = static_cast<std::int16_t>(i);
            hitHandle = handle;
        }
    }

    return result;
}

void moveHandle(Expression& e, std::int16_t kind, std::int16_t row, std::int16_t handle,
                std::int16_t X, std::int16_t Y) {
    if (row < 0)
        return;
    const auto r = static_cast<std::size_t>(row);
    switch (kind) {
    case hitkind::Text: {
        if (row >= textRows(e))
            return;
        auto& t = e.TextItems;
        t.markerX[r] = X;
        t.markerY[r] = Y;
        t.x[r] = add16(X, 4);
        t.y[r] = saturate16(static_cast<long long>(Y) - t.height[r] + 4);
        break;
    }
    case hitkind::HLine: {
        if (row >= hLineRows(e))
            return;
        auto& h = e.HLines;
        moveLine(LineRef{h.midX[r], h.y[r], h.x1[r], h.x2[r]}, handle, X, Y);
        break;
    }
    case hitkind::VLine: {
        if (row >= vLineRows(e))
            return;
        auto& v = e.VLines;
        moveLine(LineRef{v.midY[r], v.x[r], v.y1[r], v.y2[r]}, handle, Y, X);
        break;
    }
    default:
        break;
    }
}

bool deleteHit(Expression& e, std::int16_t kind, std::int16_t row) {
    if (row < 0)
        return false;
    const auto r = static_cast<std::size_t>(row);
    switch (kind) {
    case hitkind::Text:
        if (row >= textRows(e))
            return false;
        e.TextItems.live[r] = VbFalse;
        return true;
    case hitkind::HLine:
        if (row >= hLineRows(e))
            return false;
        e.HLines.live[r] = VbFalse;
        return true;
    case hitkind::VLine:
        if (row >= vLineRows(e))
            return false;
        e.VLines.live[r] = VbFalse;
        return true;
    default:
        return false;
    }
}

std::optional<std::array<std::int16_t, 6>> handleRowValues(const Expression& e, std::int16_t kind,
                                                           std::int16_t row) {
    if (row < 0)
        return std::nullopt;
    const auto r = static_cast<std::size_t>(row);
    switch (kind) {
    case hitkind::Text: {
        if (row >= textRows(e))
            return std::nullopt;
        const TextItemTable& t = e.TextItems;
        return std::array{t.x[r], t.y[r], t.markerX[r], t.markerY[r], t.height[r], t.live[r]};
    }
    case hitkind::HLine: {
        if (row >= hLineRows(e))
            return std::nullopt;
        const HLineTable& t = e.HLines;
        return std::array{t.midX[r], t.y[r], t.x1[r], t.x2[r], t.width[r], t.live[r]};
    }
    case hitkind::VLine: {
        if (row >= vLineRows(e))
            return std::nullopt;
        const VLineTable& t = e.VLines;
        return std::array{t.x[r], t.midY[r], t.y1[r], t.y2[r], t.width[r], t.live[r]};
    }
    default:
        return std::nullopt;
    }
}

std::int16_t pointerToPixel(double v) {
    return roundHalfEven16(v);
}

} // namespace quill
