#pragma once
// The picture formats besides the editor's bitmap: PNG with the same 16 grey
// levels and the expression file embedded, and SVG with the items as text
// and rectangles.

#include "export/bmpimage.h"
#include "model/expression.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <optional>

namespace quill::cli {

// The PNG text chunk that carries the expression file, base64-encoded.
inline constexpr char ExpressionTextKey[] = "Corvel-Quillmark-Expression";

// A palette PNG of the captured grey levels (entry n is the grey 0x11 * n),
// or with `transparent` black ink whose opacity is the darkness (white is
// fully transparent); the resolution is `pixelsPerMetre` in both
// directions, and `expFile` rides along in a compressed text chunk.
QByteArray pngBytes(const CapturedImage& image, std::int32_t pixelsPerMetre, bool transparent,
                    const QByteArray& expFile);

struct ExtractResult {
    bool ok = false;
    QString message; // why not
    QByteArray expFile;
};

// The expression file embedded in a PNG made by pngBytes. Refused when the
// picture is not a PNG, carries no expression, or what it carries is not a
// whole expression file.
ExtractResult extractExpression(const QString& pngPath);
// The same for a PNG in memory.
ExtractResult extractExpression(const QByteArray& png);

// An SVG of the area `area` (workspace pixels) of the canvas: line bars as
// rectangles, then text items as text in their face, size and style, one
// element per live item in drawing order inside <g id="items">, the area as
// the view box, over a white background unless `transparent`. The size is
// the area's divided by the reduction factor, in 96-dpi pixels.
QByteArray svgBytes(const Expression& expr, const QRect& area, int reductionFactor,
                    bool transparent);

} // namespace quill::cli
