#include "app/inputwatch.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace quill {

InputWatch::InputWatch(QWidget* window) : QObject(window), m_window(window) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

InputWatch::~InputWatch() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool InputWatch::inWindow(QWidget* w) const {
    // Drop-downs and menus are windows of their own, owned by a control;
    // any other window (a dialog, a message box) ends the search.
    for (QWidget* top = w->window(); top;
         top = top->parentWidget() ? top->parentWidget()->window() : nullptr) {
        if (top == m_window)
            return true;
        if (top->windowType() != Qt::Popup)
            return false;
    }
    return false;
}

bool InputWatch::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        ++m_inputSerial;
        if (!watched->isWidgetType())
            break;
        auto* widget = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        // A key a control leaves unused goes on to its parents: the same
        // event again, to an ancestor of the control it was handed on for.
        if (key == m_lastKey && key->timestamp() == m_lastKeyTime && m_lastKeyReceiver &&
            widget != m_lastKeyReceiver && widget->isAncestorOf(m_lastKeyReceiver))
            break;
        if (!inWindow(widget))
            break;
        m_lastKey = key;
        m_lastKeyTime = key->timestamp();
        m_lastKeyReceiver = widget;
        if (onKeyDown)
            onKeyDown(widget, key);
        break;
    }
    case QEvent::ShortcutOverride: // comes before the key press; a list's
                                   // drop-down takes Enter here
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::InputMethod:
        ++m_inputSerial;
        break;
    default:
        break;
    }
    return false;
}

} // namespace quill
