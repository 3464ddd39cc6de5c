#pragma once
// Rectangle tests for the drawing code's inner loops: QRect's own are not
// inlined, and these run for every recorded operation.

#include <QRect>
#include <algorithm>

namespace quill {

inline bool overlaps(const QRect& a, const QRect& b) {
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() &&
           b.top() <= a.bottom() && !a.isEmpty() && !b.isEmpty();
}

// The intersection; empty (not necessarily QRect()) when there is none.
inline QRect clipped(const QRect& a, const QRect& b) {
    return QRect(QPoint(std::max(a.left(), b.left()), std::max(a.top(), b.top())),
                 QPoint(std::min(a.right(), b.right()), std::min(a.bottom(), b.bottom())));
}

} // namespace quill
