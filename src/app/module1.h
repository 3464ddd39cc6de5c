#pragma once
// Start-up: the splash window first, the main window three seconds later.

#include "app/splash.h"

#include <QPointer>
#include <memory>

namespace quill {

class MainPanel;
class Platform;

class Module1 {
public:
    explicit Module1(Platform& platform);
    ~Module1();

    // Shows the splash and arms its timer; returns at once.
    void Main();
    // Loads the main window (running its Form_Load) and shows it.
    void ShowMainWindow();

    MainPanel* mainPanel() const { return m_mainPanel.get(); }
    frmSplash* splash() const { return m_splash.data(); }

private:
    Platform& m_platform;
    QPointer<frmSplash> m_splash; // deletes itself when it is unloaded
    std::unique_ptr<MainPanel> m_mainPanel;
};

} // namespace quill
