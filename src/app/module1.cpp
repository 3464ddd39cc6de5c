#include "app/module1.h"

#include "app/mainpanel.h"
#include "app/splash.h"
#include "app/widgets.h"

namespace quill {

Module1::Module1(Platform& platform) : m_platform(platform) {}

Module1::~Module1() {
    delete m_splash;
}

void Module1::Main() {
    auto* splash = new frmSplash(m_platform);
    m_splash = splash;
    splash->showMainWindow = [this] { ShowMainWindow(); };
    splash->Form_Load();
    splash->tmrShow->start();
    splash->show();
}

void Module1::ShowMainWindow() {
    m_mainPanel = std::make_unique<MainPanel>(m_platform);
    m_mainPanel->Form_Load();
    m_mainPanel->showMaximized();
    m_mainPanel->Picture4->setFocus();
}

} // namespace quill
