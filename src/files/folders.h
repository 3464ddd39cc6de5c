#pragma once
// Where the editor and the exporter find the files they read at run time,
// and where the editor's file dialogs start. One place for both programs;
// nothing of an install prefix is compiled in.

#include <QString>

namespace quill {

// The folder name of the installed resources under share/.
inline constexpr char SharedFolderName[] = "corvel-quillmark";
// The application's reverse-DNS id (set in the top CMakeLists.txt): the
// names of the desktop entry, icon, MIME package and AppStream data, and the
// window's application ID on Wayland.
extern const char ApplicationId[];
// The folder under the user's documents folder for an installed editor.
inline constexpr char DocumentsSubfolder[] = "Corvel Quillmark";

// The fonts, pictures and help file lie beside the executable in the build
// tree and in a copied program folder; an installed program has them in
// ../share/corvel-quillmark beside its bin folder, wherever the prefix was
// moved. The executable's folder when it holds the marker picture, else the
// shared folder when it exists, else the executable's folder (the files are
// then missing, which start-up survives as before).
QString resourceFolderFor(const QString& executableFolder);

// Where the dialogs for expressions and images start.
struct UserFolders {
    QString expressions;
    QString images;
    // True when both lie in the documents folder: they are made on first use.
    bool inDocuments = false;
};

// A program folder of its own (the resources beside the executable) that
// this user may write keeps the Expressions and Images folders in it. An
// installed program (resources under share/) or a read-only copy uses
// "Corvel Quillmark/Expressions" and "Corvel Quillmark/Images" in the
// documents folder (the home folder when none is known): an installed
// program's folder is bin/, which is nobody's place for documents, even for
// root or in a scratch prefix that happens to be writable.
UserFolders userFoldersFor(const QString& executableFolder, const QString& documentsFolder);

// Where the editor keeps its recovery files: "corvel-quillmark/recovery"
// in $XDG_STATE_HOME, or in ~/.local/state when that is not set or not an
// absolute path (as the XDG base directory rules say).
QString recoveryFolderFor(const QString& xdgStateHome, const QString& homeFolder);

// The hicolor icon theme folder that holds the application's icons: inside
// the resource folder (build tree, copied folder) or share/icons beside it.
QString iconThemeFolderFor(const QString& resourceFolder);

} // namespace quill
