#pragma once
// The canvas's own view: the canvas surface, keys for the keyboard's use of
// the canvas, and a mark that shows when the canvas has the keyboard focus.
//
// Tab and Shift+Tab ask onTab to select the next or previous item (Ctrl
// added: to add it to the selection); when there is none, they move the
// focus on to the next or previous control. Every other key goes to
// onKeyDown and onKeyUp.

#include "app/widgets.h"

#include <functional>

namespace quill {

class CanvasView : public SurfaceView {
    Q_OBJECT
public:
    CanvasView(Surface& surface, QWidget* parent);

    std::function<bool(bool forward, bool extend)> onTab;
    std::function<void(QKeyEvent*)> onKeyDown;
    std::function<void(QKeyEvent*)> onKeyUp;

    // The focus mark runs round the part of the view from this row down
    // (the tool strip covers the rows above).
    void setFocusMarkTop(int y);
    // The frame the focus mark is drawn on: two pixels wide inside it.
    QRect focusMarkFrame() const;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void updateFocusMark();
    int m_markTop = 0;
};

} // namespace quill
