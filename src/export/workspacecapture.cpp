#include "export/workspacecapture.h"

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

} // namespace quill
