#include "app/platform/platform.h"

#include "files/folders.h"

#include <QDir>
#include <algorithm>
#include <cmath>

namespace quill {

int canvasPixelScale(double devicePixelRatio) {
    if (!(devicePixelRatio > 1.0)) // below 1, and not a number, too
        return 1;
    return std::max(1, static_cast<int>(std::ceil(devicePixelRatio - 0.5)));
}

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
