#pragma once
// Sees every event the application delivers before its receiver does.
//
// Keys: a control that uses a key keeps it from the window (a focused list
// takes the text of Delete, U+007F, for its type-to-search), yet the window
// has keys of its own that must work whatever control has the focus. Each
// key pressed in one of the window's controls, or in a drop-down of one, is
// handed to onKeyDown once, before the control sees it; the control still
// gets the key. Keys in dialogs the window opens are not the window's.
//
// Input: every key (with the shortcut check that comes before it), button
// and wheel event the user sends counts one more input, so that a handler
// can tell whether two signals came from one user action or from two.

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>

class QKeyEvent;
class QWidget;

namespace quill {

class InputWatch : public QObject {
    Q_OBJECT
public:
    // Watches the application's events for the window; stops when destroyed.
    explicit InputWatch(QWidget* window);
    ~InputWatch() override;

    // The number of user input events delivered so far.
    std::uint64_t inputSerial() const { return m_inputSerial; }

    // A key pressed in the window, whichever of its controls has the focus,
    // with the control it goes to.
    std::function<void(QWidget*, QKeyEvent*)> onKeyDown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool inWindow(QWidget* w) const;

    QWidget* m_window;
    std::uint64_t m_inputSerial = 0;
    // The last key event handed on and the control it went to, so that the
    // same event passed on to that control's parents is not handed on again.
    const QKeyEvent* m_lastKey = nullptr;
    std::uint64_t m_lastKeyTime = 0;
    QPointer<QWidget> m_lastKeyReceiver;
};

} // namespace quill
