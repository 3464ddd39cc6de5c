#pragma once
// The editor's own command line: one expression file to open at start-up,
// --help and --version. Qt's options (-platform, -style, -display ...)
// are taken out by QApplication before these are read.

#include <QString>
#include <QStringList>

namespace quill {

inline constexpr char EditorProgramName[] = "corvel-quillmark";

struct EditorCommandLine {
    bool help = false;
    bool version = false;
    // The file to open once the main window is up; empty for none.
    QString file;
    // Further names, which are not opened.
    QStringList notOpened;
    // An unknown option; the editor then stops with status 2.
    QString error;
};

// args without the program's name. "--" ends the options, so that a file
// whose name begins with "-" can be named.
EditorCommandLine parseEditorCommandLine(const QStringList& args);

QString editorHelpText();
QString editorVersionText();
// The line said when more than one file was named; empty when not.
QString notOpenedNote(const EditorCommandLine& commandLine);

} // namespace quill
