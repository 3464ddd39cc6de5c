#include "files/atomicwrite.h"

#include "files/filename.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
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
    const QString reason =
        QStringLiteral("%1 (%2)").arg(step, QString::fromLocal8Bit(std::strerror(err)));
    return {false, QStringLiteral("Could not save %1: %2").arg(quoted(path), reason), reason};
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Follows a chain of symbolic links to the name that is finally written.
// A dangling link leads to the name it points at, which the save creates.
bool resolveLinks(QByteArray& name, int& err) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true; // not a link (or nothing there yet): this is the name
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(name.constData(), target.data(), target.size());
        if (n < 0 || n >= target.size()) {
            err = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        target.truncate(n);
        name = target.startsWith('/') ? target : folderOf(name) + '/' + target;
    }
    err = ELOOP;
    return false;
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

// Runs a system call again while a signal interrupts it.
template <typename Call> int retried(Call call) {
    int r;
    do
        r = call();
    while (r < 0 && errno == EINTR);
    return r;
}

// Creates a new, empty file next to the target, open for writing. A new
// target's file is created with mode 0666 so that the umask and the
// folder's default ACL apply as to any new file; a replacement starts
// private and takes the old file's mode once it is written.
int createTemporary(const QByteArray& folder, const QByteArray& name, bool replacing,
                    QByteArray& temp, int& err) {
    // ".name.XXXXXX" must itself be a valid name: shorten a long name.
    constexpr qsizetype MaxName = NAME_MAX - 8;
    const QByteArray stem = name.left(MaxName);
    const mode_t mode = replacing ? 0600 : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray suffix = QByteArray::number(QRandomGenerator::global()->generate(), 36);
        temp = folder + "/." + stem + '.' + suffix.rightJustified(6, '0').right(6);
        const int fd = retried([&] {
            return ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        });
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            err = errno;
            return -1;
        }
    }
    err = EEXIST;
    return -1;
}

} // namespace

FileResult writeFileAtomically(const QString& path, std::span<const std::uint8_t> data) {
    if (path.isEmpty())
        return {false, QStringLiteral("Could not save: no file name"),
                QStringLiteral("no file name")};

    int err = 0;
    // Replace what a link points at, not the link itself.
    QByteArray target = encodeFileName(path);
    if (!resolveLinks(target, err))
        return failed(path, QStringLiteral("cannot follow the link"), err);
    const QByteArray folder = folderOf(target);

    struct stat old {};
    const bool replacing = ::stat(target.constData(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return failed(path, QStringLiteral("it is a folder"), EISDIR);
    if (replacing && !S_ISREG(old.st_mode))
        return failed(path, QStringLiteral("it is not a regular file"), EINVAL);

    QByteArray temp;
    const int fd = createTemporary(folder, nameOf(target), replacing, temp, err);
    if (fd < 0)
        return failed(path, QStringLiteral("cannot create a file in its folder"), err);

    QString step;
    if (!writeAll(fd, data.data(), data.size(), err)) {
        step = QStringLiteral("writing failed");
    } else if (replacing) {
        // The owner first: changing it clears set-user-ID bits that the
        // mode then restores. Only root may give a file away, so a failure
        // here just leaves the file to whoever saves it.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd, old.st_uid, old.st_gid) != 0 &&
            ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
            // keep the saver's ownership
        }
        if (retried([&] { return ::fchmod(fd, old.st_mode & 07777); }) != 0)
            err = errno, step = QStringLiteral("cannot set the permissions");
    }
    if (step.isEmpty() && retried([&] { return ::fsync(fd); }) != 0)
        err = errno, step = QStringLiteral("the data did not reach the disk");
    if (!step.isEmpty()) {
        ::close(fd);
        ::unlink(temp.constData());
        return failed(path, step, err);
    }
    // close() can report a delayed write error (network and FUSE file
    // systems do); the file counts only if it closed cleanly. An interrupted
    // close has still closed the file, and fsync has already confirmed the
    // data, so EINTR is no failure.
    if (::close(fd) != 0 && errno != EINTR) {
        err = errno;
        ::unlink(temp.constData());
        return failed(path, QStringLiteral("the data did not reach the disk"), err);
    }
    if (retried([&] { return ::rename(temp.constData(), target.constData()); }) != 0) {
        err = errno;
        ::unlink(temp.constData());
        return failed(path, QStringLiteral("cannot replace the file"), err);
    }
    // Make the rename itself durable. The new file is already in place and
    // complete, so a folder that cannot be synced does not undo the save.
    const int dirFd =
        retried([&] { return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (dirFd >= 0) {
        retried([&] { return ::fsync(dirFd); });
        ::close(dirFd);
    }
    return {true, {}, {}};
}

} // namespace quill
