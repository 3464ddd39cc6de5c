#include "files/expfile.h"

#include "files/expcodec.h"

#include <QFile>
#include <utility>
#include <vector>

namespace quill {

namespace {

QString quoted(const QString& path) {
    return QLatin1Char('"') + path + QLatin1Char('"');
}

FileResult saveFailed(const QString& path, const QString& why) {
    return {false, QStringLiteral("Could not save %1: %2").arg(quoted(path), why)};
}

LoadResult loadFailed(const QString& path, const QString& why) {
    LoadResult r;
    r.message = QStringLiteral("Could not open %1: %2").arg(quoted(path), why);
    return r;
}

} // namespace

FileResult saveExpressionFile(const QString& path, const Expression& expr) {
    const EncodeResult encoded = encodeExpression(expr);
    if (!encoded.ok)
        return saveFailed(path, QString::fromStdString(encoded.message));
    return writeFileAtomically(path, encoded.bytes);
}

LoadResult loadExpressionFile(const QString& path, const Expression& current) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return loadFailed(path, file.errorString());
    if (!file.isSequential() && file.size() > MaxExpFileBytes)
        return loadFailed(
            path,
            QStringLiteral("the file is larger than %1 MiB").arg(MaxExpFileBytes / (1024 * 1024)));

    // Read in chunks up to the cap, so that a device or a file that grows
    // while it is read cannot make us read without end.
    constexpr qint64 Chunk = qint64(1) << 20;
    std::vector<std::uint8_t> bytes;
    if (!file.isSequential())
        bytes.reserve(static_cast<std::size_t>(file.size() + Chunk));
    for (;;) {
        const std::size_t have = bytes.size();
        bytes.resize(have + static_cast<std::size_t>(Chunk));
        const qint64 n = file.read(reinterpret_cast<char*>(bytes.data() + have), Chunk);
        if (n < 0)
            return loadFailed(path, file.errorString());
        bytes.resize(have + static_cast<std::size_t>(n));
        if (static_cast<qint64>(bytes.size()) > MaxExpFileBytes)
            return loadFailed(path, QStringLiteral("the file is larger than %1 MiB")
                                        .arg(MaxExpFileBytes / (1024 * 1024)));
        if (n == 0)
            break;
    }
    file.close();

    DecodeResult decoded = decodeExpression(bytes, current);
    if (!decoded.ok)
        return loadFailed(path, QStringLiteral("not a valid expression file (%1)")
                                    .arg(QString::fromStdString(decoded.message)));
    LoadResult r;
    r.ok = true;
    r.expression = std::move(decoded.expression);
    return r;
}

} // namespace quill
