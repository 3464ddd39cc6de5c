#include "app/commandline.h"

namespace quill {

EditorCommandLine parseEditorCommandLine(const QStringList& args) {
    EditorCommandLine c;
    bool options = true;
    for (const QString& a : args) {
        if (options && a == QLatin1String("--")) {
            options = false;
        } else if (options && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            c.help = true;
        } else if (options && a == QLatin1String("--version")) {
            c.version = true;
        } else if (options && a.size() > 1 && a.startsWith(QLatin1Char('-'))) {
            if (c.error.isEmpty())
                c.error = QStringLiteral("unknown option %1 (see --help)").arg(a);
        } else if (c.file.isEmpty()) {
            c.file = a;
        } else {
            c.notOpened << a;
        }
    }
    return c;
}

QString editorHelpText() {
    return QStringLiteral(
        "Usage: corvel-quillmark [Qt options] [FILE.exp]\n"
        "\n"
        "Composes mathematical expressions as pictures. With FILE.exp the editor\n"
        "opens that expression file once its window is up, as File > Open does;\n"
        "of several names only the first is opened.\n"
        "\n"
        "  -h, --help      this text\n"
        "  --version       the program's version\n"
        "  --              ends the options: a file name may begin with -\n"
        "\n"
        "Qt's own options, such as -platform, -style and -display, are honoured.\n");
}

QString editorVersionText() {
    return QString::fromLatin1(EditorProgramName) + QLatin1Char(' ') +
           QStringLiteral(QUILLMARK_VERSION_TEXT) + QLatin1Char('\n');
}

QString notOpenedNote(const EditorCommandLine& commandLine) {
    if (commandLine.notOpened.isEmpty())
        return {};
    return QStringLiteral("%1: only the first file is opened (%2); not opened: %3\n")
        .arg(QLatin1String(EditorProgramName), commandLine.file,
             commandLine.notOpened.join(QStringLiteral(", ")));
}

} // namespace quill
