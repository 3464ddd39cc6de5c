#pragma once
// The splash window: the logo, the program's name and version, and the
// one-shot timer that opens the main window.

#include <QTimer>
#include <QWidget>
#include <functional>

class QLabel;

namespace quill {

class Platform;

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(Platform& platform);

    // Centres the window on the screen.
    void Form_Load();
    // The timer fired: open the main window, then unload the splash.
    void tmrShow_Timer();

    QTimer* tmrShow = nullptr;
    QLabel* logo = nullptr;
    QLabel* lblProductName = nullptr;
    QLabel* lblVersion = nullptr;
    std::function<void()> showMainWindow; // set by the start-up code

private:
    Platform& m_platform;
};

} // namespace quill
