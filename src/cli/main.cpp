// corvel-quillmark-export: expression files to pictures from the command
// line, rendered as the editor's canvas shows them, with no display.

#include "cli/exportcommand.h"
#include "files/folders.h"

#include <QGuiApplication>
#include <cstdio>

namespace {

// Qt's own notes (a missing runtime folder and the like) would mix with
// the one-line messages scripts read; only its fatal errors get through.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char* argv[]) {
    // Fonts need a GUI application, but nothing here is shown, so no
    // display is ever looked for, whatever platform the environment names
    // (pictures come out the same on every one).
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    qInstallMessageHandler(quietQtMessages);
    QGuiApplication app(argc, argv);
    // The editor's fonts: beside the executable or in the installed share/.
    return quill::cli::runExportCommand(
        QGuiApplication::arguments().mid(1),
        quill::resourceFolderFor(QGuiApplication::applicationDirPath()), stdout, stderr);
}
