#pragma once
// Screen-sized pictures in memory that the system may back with large
// pages: a 1920x1080 canvas is then a handful of page faults when first
// touched instead of two thousand, and its rows miss the TLB less.

#include <QImage>
#include <QSize>

namespace quill {

// A picture of `size` in `format`, its pixels uninitialised. Small pictures
// are ordinary QImages.
QImage largePagePicture(QSize size, QImage::Format format);

} // namespace quill
