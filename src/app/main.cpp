// Corvel Quillmark: compose mathematical expressions as pictures.

#include "app/commandline.h"
#include "app/module1.h"
#include "app/platform/qtplatform.h"
#include "files/filename.h"
#include "files/folders.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

void print(std::FILE* f, const QString& text) {
    const QByteArray b = text.toLocal8Bit();
    std::fwrite(b.constData(), 1, static_cast<std::size_t>(b.size()), f);
}

} // namespace

int main(int argc, char* argv[]) {
    // --help and --version are answered before Qt starts: they need no
    // display. Qt's options are still among these arguments; only the two
    // requests are looked at here.
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const quill::EditorCommandLine early = quill::parseEditorCommandLine(raw);
    if (early.help || early.version) {
        print(stdout, early.help ? quill::editorHelpText() : quill::editorVersionText());
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvel Quillmark"));
    QApplication::setDesktopFileName(QString::fromLatin1(quill::ApplicationId));
    // The arguments as given, byte for byte (see files/filename.h); Qt has
    // taken its own options out of argv by now.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << quill::decodeFileName(QByteArray(argv[i]));
    const quill::EditorCommandLine commandLine = quill::parseEditorCommandLine(args);
    const QString prefix = QString::fromLatin1(quill::EditorProgramName) + QLatin1String(": ");
    if (!commandLine.error.isEmpty()) {
        print(stderr, prefix + commandLine.error + QLatin1Char('\n'));
        return 2;
    }
    print(stderr, quill::notOpenedNote(commandLine));

    quill::QtPlatform platform;
    quill::Module1 module(platform);
    if (!commandLine.file.isEmpty())
        module.setStartupFile(QFileInfo(commandLine.file).absoluteFilePath());
    module.Main();
    return QApplication::exec();
}
