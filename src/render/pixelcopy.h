#pragma once
// Copying rows of pixels that will not be read again soon (a picture on its
// way to the window): written straight to memory, past the cache, so that
// the copy neither reads its destination first nor pushes the picture's
// working set out of the cache.

#include <QtGui/qrgb.h>

namespace quill {

// Copies n pixels. The copy is complete for other threads and devices only
// after finishStreamedCopies().
void copyPixelsStreamed(const QRgb* from, QRgb* to, int n);
void finishStreamedCopies();

} // namespace quill
