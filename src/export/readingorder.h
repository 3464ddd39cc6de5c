#pragma once
// The order in which a screen reader reads the items of a picture: rows
// from top to bottom, the items of a row from left to right, where a row
// may stack items (a fraction's numerator, bar and denominator, a sum's
// limits), read from top to bottom in their place in the row.

#include <QRectF>
#include <cstddef>
#include <vector>

namespace quill {

struct ReadingItem {
    QRectF box;       // its ink
    bool bar = false; // a line's bar: it holds a fraction or a radical together
};

// The items' indexes in reading order. The items are cut recursively: into
// rows where a clear gap runs across them all (one at least half as high as
// the items on either side, and not next to a bar); else into columns where
// nothing reaches across a vertical line between them; else into the stacked
// parts between the gaps of a column, top to bottom; where nothing cuts
// them, the leftmost item comes first and the rest are cut again.
std::vector<std::size_t> readingOrder(const std::vector<ReadingItem>& items);

} // namespace quill
