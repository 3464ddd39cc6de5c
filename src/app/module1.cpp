#include "app/module1.h"

#include "app/mainpanel.h"
#include "app/splash.h"
#include "app/widgets.h"

#include <QPointer>

namespace quill {

Module1::Module1(Platform& platform) : m_platform(platform) {}

Module1::~Module1() {
    if (m_splash)
        delete m_splash;
}

void Module1::Main() {
    m_splash = new frmSplash(m_platform);
    QObject::connect(m_splash, &QObject::destroyed, [this] { m_splash = nullptr; });
    m_splash->showMainWindow = [this] { ShowMainWindow(); };
    m_splash->Form_Load();
    m_splash->tmrShow->start();
    m_splash->show();
}

void Module1::ShowMainWindow() {
    m_mainPanel = std::make_unique<MainPanel>(m_platform);
    m_mainPanel->Form_Load();
    m_mainPanel->showMaximized();
    m_mainPanel->Picture4->setFocus();
}

} // namespace quill
