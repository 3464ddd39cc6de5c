#pragma once
// Capture of an outline's area from a picture held as a QImage, such as the
// image workspace or an expression drawn off screen.

#include "export/capture.h"

#include <QImage>
#include <functional>

namespace quill {

CapturedImage captureOutline(const QImage& picture, const OutlineArea& area,
                             const std::function<void(float)>& onProgress = {});
void captureOutline(const QImage& picture, const OutlineArea& area, CapturedImage& into,
                    const std::function<void(float)>& onProgress = {});

// What a capture shows while it runs: a label and a progress bar. They
// appear only once the capture has run for `quietMs`, so that a capture too
// quick for anyone to see them spares painting them; from then on the bar
// follows the capture, moving at most once every `stepMs`.
struct CaptureProgressView {
    std::function<void(float)> show; // label and bar appear, the bar at this value
    std::function<void(float)> move; // the bar takes this value
    std::function<void()> hide;      // both disappear again
    int quietMs = 50;
    int stepMs = 40;
};
void captureOutline(const QImage& picture, const OutlineArea& area, CapturedImage& into,
                    const CaptureProgressView& view);

} // namespace quill
