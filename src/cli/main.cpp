// corvel-quillmark-export: expression files to pictures from the command
// line, rendered as the editor's canvas shows them, with no display.

#include "cli/exportcommand.h"
#include "files/filename.h"

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
    // The arguments as given, byte for byte: QGuiApplication::arguments()
    // would turn bytes of a file name that are not UTF-8 into U+FFFD. Qt
    // takes its own options (-platform and so on) out of argv.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << quill::decodeFileName(QByteArray(argv[i]));
    return quill::cli::runExportCommand(args, QGuiApplication::applicationDirPath(), stdout,
                                        stderr);
}
