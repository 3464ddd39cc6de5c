#include "app/platform/platform.h"

#include <QDir>

namespace quill {

QString Platform::programFile(const QString& backslashName) const {
    QString name = backslashName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return QDir(programFolder()).filePath(name);
}

} // namespace quill
