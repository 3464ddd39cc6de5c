#include "files/atomicwrite.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quill {

namespace {

QString quoted(const QString& path) {
    return QLatin1Char('"') + path + QLatin1Char('"');
}

FileResult failed(const QString& path, const QString& step, int err) {
    return {false, QStringLiteral("Could not save %1: %2 (%3)")
                       .arg(quoted(path), step, QString::fromLocal8Bit(std::strerror(err)))};
}

// The process's umask, read without changing it for longer than a moment.
mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int& err) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        if (n == 0) { // no progress and no error: treat as a full device
            err = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

FileResult writeFileAtomically(const QString& path, std::span<const std::uint8_t> data) {
    if (path.isEmpty())
        return {false, QStringLiteral("Could not save: no file name")};

    // Replace what a link points at, not the link itself.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString resolved = info.symLinkTarget();
        if (!resolved.isEmpty())
            target = resolved;
    }
    const QFileInfo targetInfo(target);
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(targetInfo.absolutePath());

    struct stat old {};
    const bool replacing = ::stat(targetName.constData(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return failed(path, QStringLiteral("it is a folder"), EISDIR);
    const mode_t mode =
        replacing ? (old.st_mode & 07777) : (static_cast<mode_t>(0666) & ~currentUmask());

    QByteArray temp = folder + "/." + QFile::encodeName(targetInfo.fileName()) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return failed(path, QStringLiteral("cannot create a file in its folder"), errno);

    int err = 0;
    QString step;
    if (!writeAll(fd, data.data(), data.size(), err))
        step = QStringLiteral("writing failed");
    else if (::fchmod(fd, mode) != 0)
        err = errno, step = QStringLiteral("cannot set the permissions");
    else if (::fsync(fd) != 0)
        err = errno, step = QStringLiteral("the data did not reach the disk");
    if (!step.isEmpty()) {
        ::close(fd);
        ::unlink(temp.constData());
        return failed(path, step, err);
    }
    // close() can report a delayed write error (network and FUSE file
    // systems do); the file counts only if it closed cleanly.
    if (::close(fd) != 0) {
        err = errno;
        ::unlink(temp.constData());
        return failed(path, QStringLiteral("the data did not reach the disk"), err);
    }
    if (::rename(temp.constData(), targetName.constData()) != 0) {
        err = errno;
        ::unlink(temp.constData());
        return failed(path, QStringLiteral("cannot replace the file"), err);
    }
    // Make the rename itself durable. The new file is already in place and
    // complete, so a folder that cannot be synced does not undo the save.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {true, {}};
}

} // namespace quill
