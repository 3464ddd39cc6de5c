#include "render/fontface.h"

#include <QFontDatabase>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace quill {

double pixelsToPoints(int pixels) {
    return static_cast<double>(pixels) * 72.0 / 96.0;
}

void installFontSubstitutions() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    const QStringList families = QFontDatabase::families();
    auto prefer = [&](const QString& face, const QStringList& candidates) {
        if (families.contains(face))
            return;
        for (const QString& c : candidates) {
            if (families.contains(c)) {
                QFont::insertSubstitution(face, c);
                return;
            }
        }
    };
    prefer(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                     QStringLiteral("DejaVu Sans")});
    prefer(QStringLiteral("MS Sans Serif"),
           {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

QFont makeQFont(const CanvasFont& font) {
    // Only the program's own faces: those of its font files by name,
    // anything else (Arial above all) in Corvel Sans, which also gives any
    // character a face lacks.
    const QString sans = QString::fromLatin1(CanvasSansFamily.data(),
                                             static_cast<qsizetype>(CanvasSansFamily.size()));
    const bool own = std::find(OwnFaces.begin(), OwnFaces.end(), font.face) != OwnFaces.end();
    const QString face = own ? fromLatin1(font.face) : sans;
    QFont f(face);
    f.setFamilies(own ? QStringList{face, sans} : QStringList{sans});
    f.setPixelSize(font.pixelSize);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setKerning(true);
    // Light hinting always, rather than whatever the system's font settings
    // say.
    f.setHintingPreference(QFont::PreferVerticalHinting);
    f.setStyleStrategy(
        static_cast<QFont::StyleStrategy>(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    return f;
}

} // namespace quill
