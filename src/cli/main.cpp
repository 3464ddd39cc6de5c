// corvel-quillmark-export: expression files to pictures from the command
// line, rendered as the editor's canvas shows them, with no display.

#include "cli/exportcommand.h"
#include "files/filename.h"
#include "files/folders.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace {

// Qt's own notes (a missing runtime folder and the like) would mix with
// the one-line messages scripts read; only its fatal errors get through.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char* argv[]) {
    // Each file's canvas copies and pictures are megabytes. By default the C
    // library maps such blocks anew for every file and unmaps them after,
    // so every page is faulted in and cleared again, file after file; kept
    // in the heap, the next file reuses them.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    // Fonts need a GUI application, but nothing here is shown, so no
    // display is ever looked for, whatever platform the environment names
    // (pictures come out the same on every one).
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    qInstallMessageHandler(quietQtMessages);
    quill::cli::useProgramFontsOnly();
    QGuiApplication app(argc, argv);
    // The arguments as given, byte for byte: QGuiApplication::arguments()
    // would turn bytes of a file name that are not UTF-8 into U+FFFD. Qt
    // takes its own options (-platform and so on) out of argv.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << quill::decodeFileName(QByteArray(argv[i]));
    // The editor's fonts: beside the executable or in the installed share/.
    const int status = quill::cli::runExportCommand(
        args, quill::resourceFolderFor(QGuiApplication::applicationDirPath()), stdout, stderr);
    // Everything is written and synced by now. Taking the application, its
    // fonts and its plugins apart again would cost more time than a whole
    // picture does; the system frees it all at once.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
