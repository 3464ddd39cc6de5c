#include "render/layers.h"

#include <algorithm>

namespace quill {

namespace {

constexpr int LineOverhang = 6;
constexpr int MarkerSize = 9;

QRect band(int along1, int along2, int across, int width, bool horizontal) {
    const int w = width < 1 ? 1 : width;
    const int lo = std::min(along1, along2), hi = std::max(along1, along2);
    const int first = across - w / 2;
    if (horizontal)
        return QRect(QPoint(lo, first), QPoint(hi, first + w - 1));
    return QRect(QPoint(first, lo), QPoint(first + w - 1, hi));
}

} // namespace

QRect hLineBar(std::int16_t x1, std::int16_t x2, std::int16_t y, std::int16_t width) {
    return band(x1 - LineOverhang, x2 + LineOverhang, y, width, true);
}

QRect vLineBar(std::int16_t x, std::int16_t y1, std::int16_t y2, std::int16_t width) {
    return band(y1 - LineOverhang, y2 + LineOverhang, x, width, false);
}

void DrawGrid(Surface& canvas, QSize screenPixels) {
    canvas.setForeColor(BgrBlue);
    const int w = screenPixels.width(), h = screenPixels.height();
    for (int x = 50; x <= w; x += 50)
        canvas.line(x, 90, x, h);
    for (int y = 120; y <= h; y += 50)
        canvas.line(0, y, w, y);
}

namespace {
// Calls f(row) for every live row among the first n, in row order.
template <typename F> void eachLiveRow(const std::vector<VbBool>& live, std::int32_t n, F&& f) {
    for (std::int32_t i = 0; i < n; ++i) {
        const auto r = static_cast<std::size_t>(i);
        if (live[r] != 0)
            f(r);
    }
}
} // namespace

// A line is a bar as wide as its pen; the pen is left one pixel wide.
void DrawHLines(Surface& canvas, const Expression& expr, QPoint origin) {
    const auto& t = expr.HLines;
    canvas.fillEach(BgrBlack, [&](auto&& put) {
        eachLiveRow(t.live, expr.hLineRowCount(), [&](std::size_t r) {
            put(hLineBar(t.x1[r], t.x2[r], t.y[r], t.width[r]).translated(-origin));
        });
    });
    canvas.setDrawWidth(1);
}

void DrawVLines(Surface& canvas, const Expression& expr, QPoint origin) {
    const auto& t = expr.VLines;
    canvas.fillEach(BgrBlack, [&](auto&& put) {
        eachLiveRow(t.live, expr.vLineRowCount(), [&](std::size_t r) {
            put(vLineBar(t.x[r], t.y1[r], t.y2[r], t.width[r]).translated(-origin));
        });
    });
    canvas.setDrawWidth(1);
}

namespace {
// Calls f(row) for every live text item with the surface's font and
// position set to it.
template <typename F> void eachText(Surface& canvas, const Expression& expr, QPoint origin, F&& f) {
    if (expr.textItemsExist != VbTrue)
        return;
    const auto& t = expr.TextItems;
    eachLiveRow(t.live, expr.textRowCount(), [&](std::size_t r) {
        canvas.setFontName(t.fontName[r]);
        canvas.setFontBold(t.fontBold[r] != 0);
        canvas.setFontItalic(t.fontItalic[r] != 0);
        canvas.setFontSize(t.fontSize[r]);
        canvas.setCurrentPos(t.x[r] - origin.x(), t.y[r] - origin.y());
        f(t.text[r]);
    });
}
} // namespace

void DrawItems(Surface& canvas, const Expression& expr, QPoint origin) {
    if (expr.hLinesExist == VbTrue)
        DrawHLines(canvas, expr, origin);
    if (expr.vLinesExist == VbTrue)
        DrawVLines(canvas, expr, origin);
    eachText(canvas, expr, origin, [&](const std::string& text) { canvas.print(text); });
}

QRect ItemsBounds(Surface& canvas, const Expression& expr) {
    QRect bounds;
    if (expr.hLinesExist == VbTrue) {
        const auto& t = expr.HLines;
        eachLiveRow(t.live, expr.hLineRowCount(), [&](std::size_t r) {
            bounds |= hLineBar(t.x1[r], t.x2[r], t.y[r], t.width[r]);
        });
    }
    if (expr.vLinesExist == VbTrue) {
        const auto& t = expr.VLines;
        eachLiveRow(t.live, expr.vLineRowCount(), [&](std::size_t r) {
            bounds |= vLineBar(t.x[r], t.y1[r], t.y2[r], t.width[r]);
        });
    }
    eachText(canvas, expr, QPoint(),
             [&](const std::string& text) { bounds |= canvas.printBounds(text); });
    return bounds;
}

void DrawMarkers(Surface& canvas, const Expression& expr, const QImage& marker) {
    canvas.blitEach(marker, QRect(0, 0, MarkerSize, MarkerSize), [&](auto&& place) {
        auto put = [&](int hx, int hy) { place(QPoint(hx - 4, hy - 4)); };
        if (expr.hLinesExist == VbTrue) {
            const auto& t = expr.HLines;
            eachLiveRow(t.live, expr.hLineRowCount(), [&](std::size_t r) {
                put(t.midX[r], t.y[r]);
                put(t.x1[r], t.y[r]);
                put(t.x2[r], t.y[r]);
            });
        }
        if (expr.vLinesExist == VbTrue) {
            const auto& t = expr.VLines;
            eachLiveRow(t.live, expr.vLineRowCount(), [&](std::size_t r) {
                put(t.x[r], t.midY[r]);
                put(t.x[r], t.y1[r]);
                put(t.x[r], t.y2[r]);
            });
        }
        if (expr.textItemsExist == VbTrue) {
            const auto& t = expr.TextItems;
            eachLiveRow(t.live, expr.textRowCount(),
                        [&](std::size_t r) { put(t.markerX[r], t.markerY[r]); });
        }
    });
}

} // namespace quill
