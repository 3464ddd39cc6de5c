#include "app/platform/platform.h"

#include "files/folders.h"

#include <QDir>

namespace quill {

QString Platform::resourceFolder() const {
    return resourceFolderFor(programFolder());
}

QString Platform::programFile(const QString& backslashName) const {
    QString name = backslashName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return QDir(resourceFolder()).filePath(name);
}

namespace {
QString madeWhenInDocuments(const UserFolders& folders, const QString& folder) {
    if (folders.inDocuments)
        QDir().mkpath(folder); // a failure shows as the dialog's own start
    return folder;
}
} // namespace

QString Platform::expressionsFolder() const {
    const UserFolders f = userFoldersFor(programFolder(), documentsFolder());
    return madeWhenInDocuments(f, f.expressions);
}

QString Platform::imagesFolder() const {
    const UserFolders f = userFoldersFor(programFolder(), documentsFolder());
    return madeWhenInDocuments(f, f.images);
}

} // namespace quill
