#include "files/expfile.h"

#include "files/expcodec.h"

#include <QFile>
#include <algorithm>
#include <utility>

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

BoundedRead readFileUpTo(QFile& file, qint64 limit) {
    BoundedRead r;
    if (!file.isSequential() && file.size() > limit) {
        r.outcome = BoundedRead::Outcome::TooLarge;
        return r;
    }
    constexpr qint64 Piece = qint64(1) << 20;
    if (!file.isSequential())
        r.bytes.reserve(static_cast<qsizetype>(std::min(file.size(), limit) + Piece));
    for (;;) {
        const qsizetype have = r.bytes.size();
        r.bytes.resize(have + Piece);
        const qint64 n = file.read(r.bytes.data() + have, Piece);
        if (n < 0) {
            r.bytes.clear();
            r.error = file.errorString();
            return r;
        }
        r.bytes.resize(have + n);
        if (r.bytes.size() > limit) {
            r.bytes.clear();
            r.outcome = BoundedRead::Outcome::TooLarge;
            return r;
        }
        if (n == 0)
            break;
    }
    r.outcome = BoundedRead::Outcome::Ok;
    return r;
}

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
    const BoundedRead read = readFileUpTo(file, MaxExpFileBytes);
    if (read.outcome == BoundedRead::Outcome::TooLarge)
        return loadFailed(
            path,
            QStringLiteral("the file is larger than %1 MiB").arg(MaxExpFileBytes / (1024 * 1024)));
    if (read.outcome != BoundedRead::Outcome::Ok)
        return loadFailed(path, read.error);
    file.close();

    DecodeResult decoded =
        decodeExpression(reinterpret_cast<const std::uint8_t*>(read.bytes.constData()),
                         static_cast<std::size_t>(read.bytes.size()), current);
    if (!decoded.ok)
        return loadFailed(path, QStringLiteral("not a valid expression file (%1)")
                                    .arg(QString::fromStdString(decoded.message)));
    LoadResult r;
    r.ok = true;
    r.expression = std::move(decoded.expression);
    return r;
}

} // namespace quill
