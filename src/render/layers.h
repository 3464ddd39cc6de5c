#pragma once
// The layers of a canvas repaint. Each draws one kind of content from the
// expression tables onto a surface; the window calls them in a fixed order
// (grid, typed line, lines, text items, markers).

#include "edit/selection.h"
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

// The font a text item is drawn in.
CanvasFont textItemFont(const Expression& expr, std::size_t row);

// Where an item's ink lies on the canvas: a text item's text as the canvas
// prints it, a line's bar. Empty for a text item without ink.
QRect itemInk(Surface& canvas, const Expression& expr, ItemRef item);

// The row of a text item's baseline.
int textItemBaseline(const Expression& expr, std::size_t row);

// The selection over everything else: the handles of every selected item
// as squares the marker's size filled in `colour`, then `box` (if any) as a
// thin dashed frame in the same colour.
void DrawSelection(Surface& canvas, const Expression& expr, const Selection& selection,
                   BgrColour colour, const QRect& box);

// A rectangle's edges, one pixel wide, as dashes of 3 pixels 3 apart.
void DrawDashedBox(Surface& canvas, const QRect& box, BgrColour colour);

// The pixels a line bar covers: from the lesser to the greater of the two
// painted ends, `width` pixels thick centred on the line.
QRect hLineBar(std::int16_t x1, std::int16_t x2, std::int16_t y, std::int16_t width);
QRect vLineBar(std::int16_t x, std::int16_t y1, std::int16_t y2, std::int16_t width);

} // namespace quill
