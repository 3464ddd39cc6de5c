#pragma once
// Pictures of an expression without a window, for the command-line exporter
// and the editor's Copy: the pixels the editor's canvas of the screen's size
// shows in image mode (no grid, no markers, no line being typed), taken from
// the image workspace, the part of the canvas below the tool strip. Only the
// part of the canvas a picture needs is painted, on a surface of that part's
// size, so a small formula costs a small surface rather than a screen.

#include "export/capture.h"
#include "model/expression.h"
#include "render/surface.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <optional>

namespace quill {

// A picture larger than this many pixels is refused: an outline may reach
// far outside the workspace, and its capture holds four bytes a pixel.
inline constexpr long long MaxAreaPixels = 64LL * 1024 * 1024;
// A canvas grows to hold a whole formula up to this many pixels a side.
inline constexpr int MaxCanvasSide = 16000;

// Registers the fonts the editor registers at start-up, from `folder`.
// Needs a QGuiApplication.
void registerProgramFonts(const QString& folder);

// The tightest rectangle around every pixel whose grey level, as Save Image
// packs it, is not white; nothing when there is none. Only `within` is
// looked at, when given.
std::optional<QRect> inkBounds(const QImage& picture, std::optional<QRect> within = {});

// The area to export of the painted canvas, and its captured colours.
struct ExportArea {
    bool ok = false;
    QString message; // why there is nothing to export
    QRect rect;      // workspace pixels
    CapturedImage captured;
};

class ExpressionCanvas {
public:
    // `screen`: the size of the canvas the pictures are taken from.
    explicit ExpressionCanvas(QSize screen);

    QSize screen() const { return m_screen; }
    void setScreen(QSize screen) { m_screen = screen; }

    // The tightest box around the expression's ink in the workspace, with
    // `margin` white pixels on each side, white even where the margin
    // reaches past the workspace.
    ExportArea fitted(const Expression& expr, int margin);
    // The area inside an outline with corners (x1, y1) and (x2, y2) in
    // workspace pixels, as Save Image takes it; points outside the
    // workspace have no colour (-1).
    ExportArea outlined(const Expression& expr, const std::array<int, 4>& corners);

    // Every canvas pixel the expression's items may draw on (not clipped
    // to the canvas).
    QRect itemsBounds(const Expression& expr);

private:
    // Paints the part `area` of the canvas (canvas pixels, inside it) and
    // gives its picture, valid until the next paint.
    QImage paint(const Expression& expr, const QRect& area);
    QRect workspaceRect() const;

    Surface m_surface;
    QSize m_screen;
};

} // namespace quill
