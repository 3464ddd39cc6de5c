#pragma once
// Start-up: the splash window first, the main window three seconds later.

#include "app/splash.h"

#include <QIcon>
#include <QPointer>
#include <QString>
#include <memory>

namespace quill {

class MainPanel;
class Platform;
class RecoveryController;

class Module1 {
public:
    explicit Module1(Platform& platform);
    ~Module1();

    // Shows the splash and arms its timer; returns at once.
    void Main();
    // Loads the main window (running its Form_Load) and shows it. Once the
    // splash is gone, what editors that no longer run left behind is
    // offered, then a file named for start-up is opened.
    void ShowMainWindow();
    // The expression file to open at start-up (the command line's).
    void setStartupFile(const QString& path) { m_startupFile = path; }

    MainPanel* mainPanel() const { return m_mainPanel.get(); }
    frmSplash* splash() const { return m_splash.data(); }

private:
    Platform& m_platform;
    QPointer<frmSplash> m_splash; // deletes itself when it is unloaded
    std::unique_ptr<MainPanel> m_mainPanel;
    std::unique_ptr<RecoveryController> m_recovery; // goes before the window
    QString m_startupFile;
};

// The application's icon, in every size drawn, from the icon theme folder
// beside the resources; the windows show it.
QIcon applicationIcon(const QString& resourceFolder);

} // namespace quill
