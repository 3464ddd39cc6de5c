#include "files/expfile.h"

#include "files/expcodec.h"
#include "files/filename.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quill {

namespace {

QString quoted(const QString& path) {
    return QLatin1Char('"') + path + QLatin1Char('"');
}

FileResult saveFailed(const QString& path, const QString& why) {
    return {false, QStringLiteral("Could not save %1: %2").arg(quoted(path), why), why};
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

namespace {

QString kindOfNonFile(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a regular file");
}

BoundedRead notAFile(const QString& what) {
    BoundedRead r;
    r.outcome = BoundedRead::Outcome::NotAFile;
    r.error = what;
    return r;
}

BoundedRead failedRead(int err) {
    BoundedRead r;
    r.error = QString::fromLocal8Bit(std::strerror(err));
    r.errorCode = err;
    return r;
}

} // namespace

BoundedRead readRegularFile(const QString& path, qint64 limit) {
    const QByteArray name = encodeFileName(path);
    // A socket cannot be opened at all, so its name is looked at first; the
    // check on the descriptor below is the one that counts.
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return notAFile(kindOfNonFile(st.st_mode));
    int fd;
    do
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return failedRead(errno);
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return failedRead(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return notAFile(kindOfNonFile(st.st_mode));
    }
    // A regular file never blocks; reading goes on in the ordinary mode.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failedRead(EIO);
    }
    return readFileUpTo(file, limit);
}

FileResult saveExpressionFile(const QString& path, const Expression& expr) {
    const EncodeResult encoded = encodeExpression(expr);
    if (!encoded.ok)
        return saveFailed(path, QString::fromStdString(encoded.message));
    return writeFileAtomically(path, encoded.bytes);
}

LoadResult loadExpressionFile(const QString& path, const Expression& current) {
    const BoundedRead read = readRegularFile(path, MaxExpFileBytes);
    if (read.outcome == BoundedRead::Outcome::TooLarge)
        return loadFailed(
            path,
            QStringLiteral("the file is larger than %1 MiB").arg(MaxExpFileBytes / (1024 * 1024)));
    if (read.outcome == BoundedRead::Outcome::NotAFile)
        return loadFailed(path, QStringLiteral("it is %1, not a file").arg(read.error));
    if (read.outcome != BoundedRead::Outcome::Ok)
        return loadFailed(path, read.error);

    DecodeResult decoded =
        decodeExpression(reinterpret_cast<const std::uint8_t*>(read.bytes.constData()),
                         static_cast<std::size_t>(read.bytes.size()), current);
    if (!decoded.ok)
        return loadFailed(path, QStringLiteral("it is not an expression file: %1")
                                    .arg(QString::fromStdString(decoded.message)));
    LoadResult r;
    r.ok = true;
    r.expression = std::move(decoded.expression);
    return r;
}

} // namespace quill
