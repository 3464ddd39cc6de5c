#pragma once
// Taking the pixels inside an outline from a picture: the area strictly
// inside the outline's frame, whichever way the outline was dragged, as
// 0x00BBGGRR colours, with -1 for points that lie outside the picture.

#include "export/bmpimage.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quill {

// The area inside an outline: one pixel inside the lesser corner and two
// inside the greater one, so corners (10, 20) and (110, 70) give the 98 x 48
// pixels from (11, 21) to (108, 68). Width or height is 0 or less when the
// outline encloses nothing.
struct OutlineArea {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

OutlineArea outlineArea(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

// The corners (x1, y1, x2, y2) of the outline, dragged from its top left to
// its bottom right, whose area is `area` grown by `margin` pixels on every
// side: the inverse of outlineArea. Corners saturate at the 16-bit limits.
struct OutlineCorners {
    std::int16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
OutlineCorners outlineAround(std::int32_t left, std::int32_t top, std::int32_t right,
                             std::int32_t bottom, std::int32_t margin);

// A picture's pixels as 32-bit 0xAARRGGBB words, row by row (the layout of
// a QImage in Format_RGB32 or Format_ARGB32; the alpha byte is ignored).
struct PixelRows {
    const std::uint8_t* bits = nullptr;
    std::ptrdiff_t bytesPerLine = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The progress bar after one more captured row of an image `imageHeight`
// rows high: it climbs by 100 / imageHeight while it stays below
// 100 - 100 / imageHeight, in single precision.
float progressAfterRow(float value, std::int32_t imageHeight);

// Captures the area. `onProgress`, if given, hears the bar's value after a
// row whenever its whole part has changed, so at most about a hundred times.
CapturedImage capturePixels(const PixelRows& picture, const OutlineArea& area,
                            const std::function<void(float)>& onProgress = {});
// The same into an image whose memory is reused from one capture to the
// next.
void capturePixels(const PixelRows& picture, const OutlineArea& area, CapturedImage& into,
                   const std::function<void(float)>& onProgress = {});

} // namespace quill
