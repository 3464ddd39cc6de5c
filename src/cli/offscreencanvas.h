#pragma once
// The editor's canvas without a window: a surface of the screen's size that
// an expression is painted on as image mode shows it (no grid, no markers,
// no line being typed), and the image workspace, the part of it below the
// tool strip that Save Image takes its pixels from. One canvas serves many
// expressions in turn; each repaint paints only what differs from the last.

#include "export/pictureformats.h"
#include "model/expression.h"
#include "render/surface.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

namespace quill::cli {

// The canvas draws only the program's own fonts (makeQFont), so the
// exporter needs nothing of the system's font configuration, which takes
// longer to load (some eighty files) than a whole picture takes to draw.
// Called before the QGuiApplication is made, this gives Qt an empty one.
void useProgramFontsOnly();

// Registers the fonts the editor registers at start-up, from `folder`.
// Needs a QGuiApplication.
void registerProgramFonts(const QString& folder);

class OffscreenCanvas {
public:
    explicit OffscreenCanvas(QSize screen);

    // Paints `expr` the way the editor's canvas shows it in image mode.
    void paint(const Expression& expr);

    Surface& surface() { return m_canvas; }
    // The workspace picture: the canvas from (0, 96), as wide as the screen
    // and as high as the screen less 96. It shares the canvas's pixels and
    // is valid until the next paint.
    QImage workspace() const;
    // Where in the workspace the last paint may have drawn.
    QRect paintedArea() const;

private:
    Surface m_canvas;
};

// The tightest rectangle (workspace pixels) around every pixel whose grey
// level, as Save Image packs it, is not white; nothing when there is none.
// Only `within` is looked at, when given.
std::optional<QRect> inkBounds(const QImage& workspace, std::optional<QRect> within = {});

} // namespace quill::cli
