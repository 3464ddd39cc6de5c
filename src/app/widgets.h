#pragma once
// Small widgets the main window is built from.

#include "render/surface.h"

#include <QCheckBox>
#include <QFrame>
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
// has changed.
class SurfaceView : public QWidget {
    Q_OBJECT
public:
    SurfaceView(Surface& surface, QWidget* parent);
    Surface& surface() { return m_surface; }

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
    Surface& m_surface;
};

// The tool strip: holds the controls and keeps mouse events on itself, so
// presses on it never reach the canvas below.
class ToolStrip : public QFrame {
    Q_OBJECT
public:
    explicit ToolStrip(QWidget* parent);

protected:
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
