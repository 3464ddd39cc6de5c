#pragma once
// Text compositing: a rendered text's coverage mask put onto a picture in
// one colour. Solid coverage takes the colour, partial coverage blends with
// what lies beneath, none leaves the pixel as it was.

#include "render/textcache.h"

#include <QImage>
#include <QPoint>
#include <QRect>

namespace quill {

// The pixels of an RGB32 picture, already the picture's own (detached).
struct PixelTarget {
    uchar* bits = nullptr;
    qsizetype stride = 0;
    QRect rect;
};

// Composites `run`'s mask with its top-left corner at `at` onto an RGB32
// picture, within `clip`. `whole`: the picture is being repainted whole, so
// the run is worth its composite steps (see TextRun); the pixels are the
// same either way.
void compositeMask(QImage& target, const TextRun& run, QPoint at, QRgb colour, const QRect& clip,
                   bool whole = false);
void compositeMask(const PixelTarget& target, const TextRun& run, QPoint at, QRgb colour,
                   const QRect& clip, bool whole = false);

// One row of coverage read byte by byte: pixels [0, n) of `row` against
// `mask`. A whole span of a run composites as this does over the span.
void compositeCoverageRow(QRgb* row, const uchar* mask, int n, QRgb colour);

} // namespace quill
