#include "files/folders.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

namespace quill {

const char ApplicationId[] = QUILLMARK_APP_ID;

namespace {

// The file that marks a folder as holding the program's resources.
const char* const ResourceMark = "marker.bmp";

bool holdsResources(const QString& folder) {
    return QFileInfo(QDir(folder).filePath(QLatin1String(ResourceMark))).isFile();
}

QString clean(const QString& path) {
    return QDir::cleanPath(path);
}

// Asks the system rather than reading permission bits: a read-only mount
// or an access control list decides as well.
bool writableFolder(const QString& folder) {
    const QByteArray native = QFile::encodeName(folder);
    return QFileInfo(folder).isDir() && ::access(native.constData(), W_OK | X_OK) == 0;
}

} // namespace

QString resourceFolderFor(const QString& executableFolder) {
    if (holdsResources(executableFolder))
        return clean(executableFolder);
    const QString shared =
        clean(executableFolder + QStringLiteral("/../share/") + QLatin1String(SharedFolderName));
    if (QFileInfo(shared).isDir())
        return shared;
    return clean(executableFolder);
}

UserFolders userFoldersFor(const QString& executableFolder, const QString& documentsFolder) {
    UserFolders f;
    if (holdsResources(executableFolder) && writableFolder(executableFolder)) {
        f.expressions = clean(executableFolder + QStringLiteral("/Expressions"));
        f.images = clean(executableFolder + QStringLiteral("/Images"));
        return f;
    }
    const QString documents = documentsFolder.isEmpty() ? QDir::homePath() : documentsFolder;
    const QString base = clean(documents + QLatin1Char('/') + QLatin1String(DocumentsSubfolder));
    f.expressions = base + QStringLiteral("/Expressions");
    f.images = base + QStringLiteral("/Images");
    f.inDocuments = true;
    return f;
}

QString iconThemeFolderFor(const QString& resourceFolder) {
    const QString inside = clean(resourceFolder + QStringLiteral("/icons/hicolor"));
    if (QFileInfo(inside).isDir())
        return inside;
    return clean(resourceFolder + QStringLiteral("/../icons/hicolor"));
}

QString recoveryFolderFor(const QString& xdgStateHome, const QString& homeFolder) {
    const QString state = QDir::isAbsolutePath(xdgStateHome)
                              ? xdgStateHome
                              : QDir(homeFolder).filePath(QStringLiteral(".local/state"));
    return QDir::cleanPath(
        QDir(state).filePath(QString::fromLatin1(SharedFolderName) + QStringLiteral("/recovery")));
}

} // namespace quill
