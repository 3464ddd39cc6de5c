#pragma once
// Small widgets the main window is built from.

#include "render/surface.h"

#include <QCheckBox>
#include <QFrame>
#include <QTransform>
#include <QWidget>
#include <functional>

namespace quill {

// A check box with the values 0 (unchecked), 1 (checked) and 2 (greyed).
// A click moves between unchecked and checked only; greyed is set by code.
// Changing the value, from code or by the user, emits valueChanged once,
// and only when the value really changes.
class VbCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit VbCheckBox(const QString& text, QWidget* parent = nullptr);
    int value() const;
    void setValue(int v);
Q_SIGNALS:
    void valueChanged();

protected:
    void nextCheckState() override;
    void paintEvent(QPaintEvent* e) override;
};

// Shows a surface's retained picture. Repaints only what the surface says
// has changed. The mouse handlers get positions in the picture's pixels.
//
// By default the picture is scaled with the rest of the window, one of its
// pixels to one of the window's (device independent) pixels. A view shown
// pixel for pixel puts each picture pixel on canvasPixelScale() screen
// pixels each way instead, whatever the desktop's scale, from an anchor:
// the picture's pixel `anchor` begins on the screen pixel nearest to where
// the view's point `anchor` begins.
class SurfaceView : public QWidget {
    Q_OBJECT
public:
    SurfaceView(Surface& surface, QWidget* parent);
    Surface& surface() { return m_surface; }
    void showPixelForPixel(QPoint anchor);

    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, double, double)> onMouseDown;
    std::function<void(Qt::MouseButtons, Qt::KeyboardModifiers, double, double)> onMouseMove;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, double, double)> onMouseUp;
    std::function<void()> onResize;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // Where the picture lies on the screen, for a given mapping of the
    // view's points to screen pixels.
    struct Placement {
        QTransform viewToScreen;
        QTransform pictureToScreen;
        bool pixelForPixel = false;
        QPointF toPicture(QPointF viewPoint) const;
        QRegion pictureRegion(const QRegion& viewRegion) const;
        QRegion viewRegion(const QRegion& pictureRegion) const;
    };
    Placement placement(const QTransform& viewToScreen) const;
    // The view's points on the screen as the window shows them.
    Placement placementOnScreen() const;

    Surface& m_surface;
    bool m_pixelForPixel = false;
    QPoint m_anchor;
};

// The tool strip's palette: Qt's light Fusion colours, whatever the
// desktop's colour scheme, for the captions are coloured for a light
// background. Dialogs and menus follow the desktop.
QPalette toolStripPalette();
// The contrast of two colours as the usual guidelines for text measure it,
// from 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);
// `colour` darkened, keeping its hue, just enough to stand out from
// `background` at a contrast of at least `ratio`; as it is when it does
// already.
QColor readableOn(const QColor& colour, const QColor& background, double ratio);

// The tool strip: holds the controls and keeps mouse events on itself, so
// presses on it never reach the canvas below. It and its controls keep
// toolStripPalette(), but for colours a control sets itself.
class ToolStrip : public QFrame {
    Q_OBJECT
public:
    explicit ToolStrip(QWidget* parent);

protected:
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// The 9 x 9 typing box: takes the keyboard focus while text is typed and
// hands its keys to the window. Nothing is drawn in it. Tab is handed on
// too, then moves the focus to the next control.
class TypingBox : public QWidget {
    Q_OBJECT
public:
    explicit TypingBox(QWidget* parent);

    std::function<void(QKeyEvent*)> onKeyDown;
    std::function<void(QKeyEvent*)> onKeyUp;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

} // namespace quill
