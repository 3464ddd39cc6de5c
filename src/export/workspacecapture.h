#pragma once
// Capture of an outline's area from a picture held as a QImage, such as the
// image workspace or an expression drawn off screen.

#include "export/capture.h"

#include <QImage>

namespace quill {

CapturedImage captureOutline(const QImage& picture, const OutlineArea& area,
                             const std::function<void(float)>& onProgress = {});
void captureOutline(const QImage& picture, const OutlineArea& area, CapturedImage& into,
                    const std::function<void(float)>& onProgress = {});

} // namespace quill
