#include "app/canvasview.h"

#include <QKeyEvent>
#include <QPainter>

namespace quill {

namespace {
constexpr int MarkWidth = 2;
}

CanvasView::CanvasView(Surface& surface, QWidget* parent) : SurfaceView(surface, parent) {
    // Reached by Tab only: a click on the canvas leaves the focus where it
    // is, in the typing box as a rule.
    setFocusPolicy(Qt::TabFocus);
}

void CanvasView::setFocusMarkTop(int y) {
    m_markTop = y;
    updateFocusMark();
}

QRect CanvasView::focusMarkFrame() const {
    return QRect(0, m_markTop, width(), height() - m_markTop);
}

bool CanvasView::event(QEvent* e) {
    // Keys the tool strip's controls leave unused pass through the canvas,
    // their parent, on to the window: only the canvas's own are taken.
    if ((e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) && !hasFocus()) {
        e->ignore();
        return false;
    }
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            !(k->modifiers() & Qt::AltModifier)) {
            const bool forward = k->key() == Qt::Key_Tab && !(k->modifiers() & Qt::ShiftModifier);
            const bool extend = (k->modifiers() & Qt::ControlModifier) != 0;
            if (!onTab || !onTab(forward, extend))
                focusNextPrevChild(forward);
            k->accept();
            return true;
        }
    }
    return SurfaceView::event(e);
}

void CanvasView::keyPressEvent(QKeyEvent* e) {
    if (onKeyDown)
        onKeyDown(e);
    e->accept();
}

void CanvasView::keyReleaseEvent(QKeyEvent* e) {
    if (onKeyUp)
        onKeyUp(e);
    e->accept();
}

void CanvasView::focusInEvent(QFocusEvent* e) {
    SurfaceView::focusInEvent(e);
    updateFocusMark();
}

void CanvasView::focusOutEvent(QFocusEvent* e) {
    SurfaceView::focusOutEvent(e);
    updateFocusMark();
}

void CanvasView::updateFocusMark() {
    const QRect f = focusMarkFrame();
    if (f.isEmpty())
        return;
    QRegion edges(f);
    edges -= QRegion(f.adjusted(MarkWidth, MarkWidth, -MarkWidth, -MarkWidth));
    update(edges);
}

void CanvasView::paintEvent(QPaintEvent* e) {
    SurfaceView::paintEvent(e);
    if (!hasFocus())
        return;
    const QRect f = focusMarkFrame();
    if (f.isEmpty())
        return;
    QPainter p(this);
    p.setClipRegion(e->region());
    const QColor c = palette().color(QPalette::Highlight);
    p.fillRect(QRect(f.left(), f.top(), f.width(), MarkWidth), c);
    p.fillRect(QRect(f.left(), f.bottom() - MarkWidth + 1, f.width(), MarkWidth), c);
    p.fillRect(QRect(f.left(), f.top(), MarkWidth, f.height()), c);
    p.fillRect(QRect(f.right() - MarkWidth + 1, f.top(), MarkWidth, f.height()), c);
}

} // namespace quill
