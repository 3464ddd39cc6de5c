#pragma once
// The picture formats besides the bitmap, for Save Image and the command
// line alike: PNG with the same 16 grey levels and the expression file
// embedded, and SVG that draws the items as outlines and rectangles.

#include "export/bmpimage.h"
#include "model/expression.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <optional>

namespace quill {

// The workspace starts this many pixels below the top of the canvas.
inline constexpr int WorkspaceTop = 96;

// The PNG text chunk that carries the expression file, base64-encoded.
inline constexpr char ExpressionTextKey[] = "Corvel-Quillmark-Expression";

// A 4-bit palette PNG of the captured grey levels (entry n is the grey
// 0x11 * n), or with `transparent` black ink whose opacity is the darkness
// (white is fully transparent); the resolution is `pixelsPerMetre` in both
// directions when it is not 0, and `expFile` rides along in a compressed
// text chunk before the pixels.
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

// The text of an item as the reader sees it, in Unicode: the symbols the
// symbol face draws for its codes, the minus sign where Zidezir draws "-"
// as one, the characters themselves otherwise.
QString itemUnicodeText(const std::string& face, const std::string& text);

// An SVG of the area `area` (workspace pixels) of the canvas: line bars as
// rectangles, then each text item as one path of its glyphs' outlines, from
// the fonts the canvas draws it with, carrying its text in Unicode as its
// title and label; one element per live item in drawing order inside
// <g id="items">, the area as the view box, over a white background unless
// `transparent`. The size is the area's divided by the reduction factor,
// in 96-dpi pixels. Needs the program's fonts registered.
QByteArray svgBytes(const Expression& expr, const QRect& area, int reductionFactor,
                    bool transparent);

enum class PictureFormat { Bmp, Png, Svg };

// Save Image's file types, in the dialog's "Name (*.ext)|*.ext" form: the
// bitmap first, as it has always been offered, then PNG and SVG.
inline constexpr char SaveImageFilters[] =
    "Image Files (*.bmp)|*.bmp|PNG Image (*.png)|*.png|SVG Image (*.svg)|*.svg";

struct SaveImageTarget {
    QString path;
    PictureFormat format = PictureFormat::Bmp;
};

// What Save Image writes for the name the dialog returned and the filter
// left chosen in it: a name ending in ".bmp", ".png" or ".svg" (any case)
// is written in that format as it stands; any other name in the chosen
// filter's format, with ".png" or ".svg" added for those two (a bitmap's
// name is used exactly as chosen).
SaveImageTarget saveImageTarget(const QString& chosenPath, const QString& chosenFilter);

} // namespace quill
