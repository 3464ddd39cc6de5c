#include "export/workspacecapture.h"

#include <QElapsedTimer>

namespace quill {

CapturedImage captureOutline(const QImage& picture, const OutlineArea& area,
                             const std::function<void(float)>& onProgress) {
    CapturedImage image;
    captureOutline(picture, area, image, onProgress);
    return image;
}

void captureOutline(const QImage& picture, const OutlineArea& area, CapturedImage& into,
                    const std::function<void(float)>& onProgress) {
    const bool direct =
        picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32;
    const QImage rgb = direct ? picture : picture.convertToFormat(QImage::Format_RGB32);
    PixelRows rows;
    rows.bits = rgb.constBits();
    rows.bytesPerLine = rgb.bytesPerLine();
    rows.width = rgb.width();
    rows.height = rgb.height();
    capturePixels(rows, area, into, onProgress);
}

void captureOutline(const QImage& picture, const OutlineArea& area, CapturedImage& into,
                    const CaptureProgressView& view) {
    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    qint64 moved = 0;
    captureOutline(picture, area, into, [&](float value) {
        const qint64 now = clock.elapsed();
        if (!shown) {
            if (now < view.quietMs)
                return;
            shown = true;
            moved = now;
            view.show(value);
        } else if (now - moved >= view.stepMs) {
            moved = now;
            view.move(value);
        }
    });
    if (shown)
        view.hide();
}

} // namespace quill
