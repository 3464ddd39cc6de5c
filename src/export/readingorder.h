#pragma once
// The order in which a screen reader reads the items of a picture: rows
// from top to bottom, the items of a row from left to right, where a row
// may itself hold rows (a fraction's numerator and denominator stand in one
// row with what comes before and after the fraction).

#include <QRectF>
#include <cstddef>
#include <vector>

namespace quill {

// The items' indexes in reading order, given each item's box (its ink; the
// bars of lines count too, since they hold a fraction or a radical
// together). The items are cut recursively: into rows wherever no item
// reaches across a horizontal line between them, otherwise into columns
// wherever no item reaches across a vertical line; where nothing cuts them,
// the leftmost item comes first and the rest are cut again.
std::vector<std::size_t> readingOrder(const std::vector<QRectF>& boxes);

} // namespace quill
