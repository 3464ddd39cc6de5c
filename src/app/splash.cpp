#include "app/splash.h"

#include "app/platform/platform.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace quill {

frmSplash::frmSplash(Platform& platform)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), m_platform(platform) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setObjectName(QStringLiteral("frmSplash"));
    setStyleSheet(QStringLiteral("#frmSplash { background: white; }"));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(8);

    logo = new QLabel(frame);
    logo->setFixedSize(282, 63);
    const QImage picture =
        m_platform.loadPicture(m_platform.programFile(QStringLiteral("\\splash-logo.png")));
    if (!picture.isNull())
        logo->setPixmap(QPixmap::fromImage(picture));
    layout->addWidget(logo, 0, Qt::AlignHCenter);

    lblProductName = new QLabel(QStringLiteral("Corvel Quillmark"), frame);
    QFont nameFont(QStringLiteral("Arial"));
    nameFont.setPixelSize(24);
    nameFont.setBold(true);
    lblProductName->setFont(nameFont);
    layout->addWidget(lblProductName, 0, Qt::AlignHCenter);

    lblVersion = new QLabel(QStringLiteral("Version 4.3"), frame);
    QFont versionFont(QStringLiteral("MS Sans Serif"));
    versionFont.setPixelSize(12);
    lblVersion->setFont(versionFont);
    layout->addWidget(lblVersion, 0, Qt::AlignHCenter);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    adjustSize();

    tmrShow = new QTimer(this);
    tmrShow->setInterval(3000);
    tmrShow->setSingleShot(true);
    connect(tmrShow, &QTimer::timeout, this, [this] { tmrShow_Timer(); });
}

void frmSplash::Form_Load() {
    const ScreenMetrics s = m_platform.screenMetrics();
    const int widthTwips = width() * s.twipsPerPixelX;
    const int heightTwips = height() * s.twipsPerPixelY;
    move((s.widthTwips - widthTwips) / 2 / s.twipsPerPixelX,
         (s.heightTwips - heightTwips) / 2 / s.twipsPerPixelY);
}

void frmSplash::tmrShow_Timer() {
    tmrShow->stop();
    if (showMainWindow)
        showMainWindow();
    close();
    deleteLater();
}

} // namespace quill
