#include "app/platform/qtplatform.h"

#include "app/platform/helpviewer.h"
#include "files/folders.h"
#include "render/glyphoutlines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <cmath>

namespace quill {

QString qtFilterFromPipes(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i];
    if (out.isEmpty())
        out << filter;
    return out.join(QStringLiteral(";;"));
}

QString noUserSettingsFolder() {
    return QStringLiteral("/dev/null/corvel-quillmark-keeps-no-settings");
}

QtPlatform::QtPlatform() {
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, noUserSettingsFolder());
}

namespace {
// Qt's own dialogs, never the desktop's: those keep lists of recent files.
QFileDialog::Options dialogOptions() {
    return QFileDialog::DontUseNativeDialog;
}
} // namespace

ScreenMetrics QtPlatform::screenMetrics() const {
    ScreenMetrics m;
    QSize px(1024, 768);
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        // The screen's own pixels, as many canvas pixels as the canvas shows.
        const double ratio = s->devicePixelRatio();
        const int scale = canvasPixelScale(ratio);
        px = QSize(static_cast<int>(std::lround(s->geometry().width() * ratio / scale)),
                   static_cast<int>(std::lround(s->geometry().height() * ratio / scale)));
    }
    // The editor works in 96-dpi pixels: 15 twips each.
    m.widthTwips = px.width() * m.twipsPerPixelX;
    m.heightTwips = px.height() * m.twipsPerPixelY;
    return m;
}

QString QtPlatform::programFolder() const {
    return QCoreApplication::applicationDirPath();
}

QString QtPlatform::documentsFolder() const {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void QtPlatform::registerFont(const QString& path) {
    if (QFileInfo::exists(path))
        registerCanvasFont(path);
}

QImage QtPlatform::loadPicture(const QString& path) {
    QImageReader reader(path);
    QImage img = reader.read();
    return img.isNull() ? QImage() : img.convertToFormat(QImage::Format_RGB32);
}

void QtPlatform::messageBox(QWidget* parent, const MessageBoxRequest& request) {
    const QMessageBox::Icon icon =
        request.icon == MessageIcon::Information   ? QMessageBox::Information
        : request.icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                   : QMessageBox::Critical;
    QMessageBox box(icon, request.title, request.text, QMessageBox::Ok, parent);
    box.exec();
}

SaveAnswer QtPlatform::askSave(QWidget* parent, const SaveQuestion& question) {
    QMessageBox box(QMessageBox::Warning, question.title, question.text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveAnswer::Save;
    case QMessageBox::Discard:
        return SaveAnswer::Discard;
    default:
        return SaveAnswer::Cancel;
    }
}

QString QtPlatform::recoveryFolder() const {
    return recoveryFolderFor(qEnvironmentVariable("XDG_STATE_HOME"), QDir::homePath());
}

RecoverAnswer QtPlatform::askRecover(QWidget* parent, const RecoverQuestion& question) {
    QMessageBox box(QMessageBox::Question, question.title, question.text, QMessageBox::NoButton,
                    parent);
    QPushButton* recover = box.addButton(QStringLiteral("&Recover"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(QStringLiteral("&Later"), QMessageBox::RejectRole);
    box.setDefaultButton(recover);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == recover)
        return RecoverAnswer::Recover;
    if (box.clickedButton() == discard)
        return RecoverAnswer::Discard;
    return RecoverAnswer::Later;
}

std::optional<QString> QtPlatform::getSaveFileName(QWidget* parent,
                                                   const FileDialogRequest& request) {
    // The dialog adds the default suffix to a name typed without one before
    // it asks about overwriting, so the question is about the real name.
    QFileDialog dialog(parent, request.title, request.initialFolder,
                       qtFilterFromPipes(request.filter));
    QFileDialog::Options options = dialogOptions();
    if (!request.confirmOverwrite)
        options |= QFileDialog::DontConfirmOverwrite;
    dialog.setOptions(options);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (request.selectedFilter) {
        if (!request.selectedFilter->isEmpty())
            dialog.selectNameFilter(*request.selectedFilter);
        // With several file types, a bare name takes the extension of the
        // type chosen, before the overwrite question is asked about it.
        const auto followFilter = [&dialog, &request](const QString& filter) {
            const qsizetype star = filter.indexOf(QLatin1String("(*."));
            if (star >= 0) {
                const qsizetype end = filter.indexOf(QLatin1Char(')'), star);
                dialog.setDefaultSuffix(filter.mid(star + 3, end - star - 3));
            } else {
                dialog.setDefaultSuffix(request.defaultSuffix);
            }
        };
        followFilter(dialog.selectedNameFilter());
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList names = dialog.selectedFiles();
    if (names.isEmpty() || names.first().isEmpty())
        return std::nullopt;
    if (request.selectedFilter)
        *request.selectedFilter = dialog.selectedNameFilter();
    return names.first();
}

std::optional<QString> QtPlatform::getOpenFileName(QWidget* parent,
                                                   const FileDialogRequest& request) {
    // Qt's open dialog never offers a read-only choice, so there is no box
    // to hide for request.hideReadOnly.
    const QFileDialog::Options options = dialogOptions();
    const QString name =
        QFileDialog::getOpenFileName(parent, request.title, request.initialFolder,
                                     qtFilterFromPipes(request.filter), nullptr, options);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

void QtPlatform::showHelp(const QString& helpFile, const QString& page) {
    // The viewer is a window of its own; nothing here keeps it.
    HelpViewer::open(helpFile, page);
}

} // namespace quill
