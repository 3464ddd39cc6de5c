#pragma once
// Fonts as the program names them: a face name, bold, italic and a size in
// points. Sizes render as on a 96-dpi screen: the applied pixel height is
// the point size times 96/72 rounded to a whole pixel, and the size read
// back is that pixel height in points, which may be fractional (100 pt is
// 133 px, read back as 99.75 pt).

#include <QFont>
#include <QString>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

namespace quill {

struct CanvasFont {
    std::string face = "Arial";
    bool bold = false;
    bool italic = false;
    int pixelSize = 16; // 12 pt

    bool operator==(const CanvasFont&) const = default;
};

// Inline: a repaint converts every text item's size.
inline int pointsToPixels(double points) {
    const double px = std::floor(points * 96.0 / 72.0 + 0.5);
    return px < 1.0 ? 1 : static_cast<int>(px);
}
double pixelsToPoints(int pixels);

// Face names the window's own text uses that the system may know by another
// name ("Arial" in the splash is drawn with its metric-compatible
// equivalent); the canvas draws only its own fonts (makeQFont). Installed
// once.
void installFontSubstitutions();

// The face the canvas draws "Arial" in, and every character another face
// lacks: Liberation Sans (Arial's metrics) under a name of the program's
// own, so that no font of the system can stand in for it.
inline constexpr std::string_view CanvasSansFamily = "Corvel Sans";

// The faces of the program's own font files, drawn by their names: the
// symbol keyboard's, Zidezir, and those of typeset formulas. Any other name
// draws in Corvel Sans.
inline constexpr std::array<std::string_view, 12> OwnFaces{
    "MathSymbols",        "Zidezir",
    "Corvel Serif",       "Corvel Mono",
    "Corvel Math",        "Corvel Math Relations",
    "Corvel Math Extra",  "Corvel Math Greek",
    "Corvel Math Large",  "Corvel Math Delimiters",
    "Corvel Math Pieces", "Corvel Math Alphabets"};

// The QFont for a canvas font: antialiased greys, no subpixel colour
// fringes, light hinting, only the program's own fonts (the program folder's
// font files), so that the canvas looks the same on every system.
QFont makeQFont(const CanvasFont& font);

// Text of the program's 8-bit character set as a QString.
inline QString fromLatin1(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace quill
