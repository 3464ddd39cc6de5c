#pragma once
// The layers of a canvas repaint. Each draws one kind of content from the
// expression tables onto a surface; the window calls them in a fixed order
// (grid, typed line, lines, text items, markers).

#include "model/expression.h"
#include "render/surface.h"

#include <QImage>
#include <QSize>

namespace quill {

// Grid lines in blue every 50 pixels (vertical from x 50 and y 90 down,
// horizontal from y 120), across the given screen size, with the pen width
// the surface has now. Leaves the foreground colour blue.
void DrawGrid(Surface& canvas, QSize screenPixels);

// Live horizontal / vertical lines as solid black bars `width` pixels thick
// running 6 pixels past each end handle; the pen width ends at 1. The
// canvas point `origin` goes to the surface's top-left corner: a surface
// can hold any part of the canvas, with the canvas's pixels.
void DrawHLines(Surface& canvas, const Expression& expr, QPoint origin = {});
void DrawVLines(Surface& canvas, const Expression& expr, QPoint origin = {});

// All live lines, then all live text items in row order (later rows over
// earlier ones), each in its own font with its top-left at (x, y).
void DrawItems(Surface& canvas, const Expression& expr, QPoint origin = {});
// Every canvas pixel DrawItems may draw on: the lines' bars and the texts'
// ink (Surface::printBounds, in the surface's fonts), not clipped.
QRect ItemsBounds(Surface& canvas, const Expression& expr);

// The 9 x 9 marker, copied without transparency, centred on every handle of
// every live item: lines first (middle, first end, second end), then text.
void DrawMarkers(Surface& canvas, const Expression& expr, const QImage& marker);

// The pixels a line bar covers: from the lesser to the greater of the two
// painted ends, `width` pixels thick centred on the line.
QRect hLineBar(std::int16_t x1, std::int16_t x2, std::int16_t y, std::int16_t width);
QRect vLineBar(std::int16_t x, std::int16_t y1, std::int16_t y2, std::int16_t width);

} // namespace quill
