#include "files/recoverystore.h"

#include "files/filename.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quill {

namespace {

constexpr char RecoverySuffix[] = ".exp";
constexpr char LockSuffix[] = ".lock";
constexpr char DamagedPrefix[] = "damaged-";

QByteArray bytesOf(const QString& path) {
    return encodeFileName(path);
}

QString lockFileOf(const QString& recoveryFile) {
    QString lock = recoveryFile;
    lock.chop(static_cast<qsizetype>(std::strlen(RecoverySuffix)));
    return lock + QLatin1String(LockSuffix);
}

void unlinkQuietly(const QString& path) {
    ::unlink(bytesOf(path).constData());
}

} // namespace

int takeRecoveryLock(const QString& lockFile) {
    const QByteArray name = bytesOf(lockFile);
    int fd;
    do
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    int r;
    do
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

RecoveryStore::RecoveryStore(QString folder, const SaveSystemCalls& calls)
    : m_folder(std::move(folder)), m_calls(calls),
      m_id(QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

RecoveryStore::~RecoveryStore() {
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString RecoveryStore::at(const QString& name) const {
    return m_folder + QLatin1Char('/') + name;
}

QString RecoveryStore::ownFile() const {
    return at(m_id + QLatin1String(RecoverySuffix));
}

bool RecoveryStore::takeOwnLock() {
    if (m_lockFd >= 0)
        return true;
    // The folders are the user's own: made readable by nobody else.
    QStringList missing;
    for (QString f = QDir::cleanPath(m_folder); !f.isEmpty() && !QFileInfo::exists(f);
         f = QFileInfo(f).path()) {
        missing.prepend(f);
        if (f == QFileInfo(f).path())
            break;
    }
    for (const QString& f : missing) {
        if (::mkdir(bytesOf(f).constData(), 0700) == 0)
            m_made << f;
        else if (errno != EEXIST)
            return false;
    }
    m_lockFd = takeRecoveryLock(at(m_id + QLatin1String(LockSuffix)));
    return m_lockFd >= 0;
}

FileResult RecoveryStore::write(std::span<const std::uint8_t> bytes) {
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_folder.isEmpty())
        return {false, QStringLiteral("No folder for recovery files"), {}};
    if (!takeOwnLock()) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        return {false, QStringLiteral("Could not use \"%1\": %2").arg(m_folder, why), why};
    }
    return writeFileAtomically(ownFile(), bytes, m_calls);
}

void RecoveryStore::removeOwn() {
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_lockFd >= 0)
        unlinkQuietly(ownFile());
}

void RecoveryStore::close() {
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_lockFd < 0)
        return;
    unlinkQuietly(ownFile());
    unlinkQuietly(at(m_id + QLatin1String(LockSuffix)));
    ::close(m_lockFd);
    m_lockFd = -1;
    // Only folders this editor made, and only when nothing else is in them.
    for (auto f = m_made.crbegin(); f != m_made.crend(); ++f)
        ::rmdir(bytesOf(*f).constData());
    m_made.clear();
}

std::vector<RecoveryStore::LeftBehind> RecoveryStore::leftBehind() {
    std::vector<LeftBehind> found;
    if (m_folder.isEmpty())
        return found;
    const QDir dir(m_folder);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& e : entries) {
        const QString name = e.fileName();
        if (name.startsWith(m_id))
            continue;
        if (name.endsWith(QLatin1String(LockSuffix))) {
            // A lock whose editor is gone and left nothing to recover.
            const QString base = name.chopped(static_cast<qsizetype>(std::strlen(LockSuffix)));
            if (dir.exists(base + QLatin1String(RecoverySuffix)))
                continue;
            const int fd =
                ::open(bytesOf(e.filePath()).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
                unlinkQuietly(e.filePath());
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        if (!name.endsWith(QLatin1String(RecoverySuffix)) ||
            name.startsWith(QLatin1String(DamagedPrefix)) || !e.isFile())
            continue;
        const int fd = takeRecoveryLock(lockFileOf(e.filePath()));
        if (fd < 0)
            continue; // its editor is running
        ::close(fd);
        found.push_back({e.filePath(), e.lastModified()});
    }
    std::stable_sort(found.begin(), found.end(), [](const LeftBehind& a, const LeftBehind& b) {
        return a.modified > b.modified;
    });
    return found;
}

RecoveryStore::Claim::Claim(Claim&& other) noexcept
    : m_file(std::move(other.m_file)), m_lockFile(std::move(other.m_lockFile)),
      m_fd(std::exchange(other.m_fd, -1)) {}

RecoveryStore::Claim::~Claim() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<RecoveryStore::Claim> RecoveryStore::claim(const QString& file) {
    const QString lock = lockFileOf(file);
    const int fd = takeRecoveryLock(lock);
    if (fd < 0)
        return std::nullopt;
    Claim c(file, lock, fd);
    if (!QFileInfo(file).isFile())
        return std::nullopt;
    return c;
}

bool RecoveryStore::adopt(Claim claim) {
    const std::lock_guard<std::mutex> hold(m_lock);
    if (!takeOwnLock())
        return false;
    if (::rename(bytesOf(claim.m_file).constData(), bytesOf(ownFile()).constData()) != 0)
        return false;
    unlinkQuietly(claim.m_lockFile);
    return true;
}

void RecoveryStore::discard(Claim claim) {
    unlinkQuietly(claim.m_file);
    unlinkQuietly(claim.m_lockFile);
}

QString RecoveryStore::setAside(Claim claim) {
    const QString aside = at(QLatin1String(DamagedPrefix) + QFileInfo(claim.m_file).fileName());
    if (::rename(bytesOf(claim.m_file).constData(), bytesOf(aside).constData()) != 0)
        return claim.m_file;
    unlinkQuietly(claim.m_lockFile);
    return aside;
}

} // namespace quill
