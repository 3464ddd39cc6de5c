#include "app/module1.h"

#include "app/mainpanel.h"
#include "app/recoverycontroller.h"
#include "app/splash.h"
#include "app/widgets.h"
#include "files/folders.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace quill {

Module1::Module1(Platform& platform) : m_platform(platform) {}

Module1::~Module1() {
    m_recovery.reset();
    delete m_splash;
}

QIcon applicationIcon(const QString& resourceFolder) {
    const QDir theme(iconThemeFolderFor(resourceFolder));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = theme.filePath(
            QStringLiteral("%1x%1/apps/%2.png").arg(size).arg(QLatin1String(ApplicationId)));
        if (QFileInfo::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

void Module1::Main() {
    QApplication::setWindowIcon(applicationIcon(m_platform.resourceFolder()));
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
    m_recovery =
        std::make_unique<RecoveryController>(*m_mainPanel, m_platform, m_platform.recoveryFolder());
    // Queued: the splash unloads first, so that the questions and messages
    // come up over the main window alone.
    MainPanel* panel = m_mainPanel.get();
    RecoveryController* recovery = m_recovery.get();
    QTimer::singleShot(0, panel, [panel, recovery, path = m_startupFile] {
        recovery->offerLeftBehind();
        // A recovered expression is not given up for the file unasked.
        if (!path.isEmpty() && panel->ConfirmDiscardChanges())
            panel->OpenExpressionFile(path);
    });
}

} // namespace quill
