#pragma once
// A real, tiny file system for tests of what a full disk does: a tmpfs of a
// few pages and a few inodes, mounted under a fresh temporary folder and
// unmounted again when the object goes. Root mounts it directly; anyone
// else gets it from the tests re-run in a user and mount namespace of their
// own (see runUnprivilegedInNamespace). `how()` says which way it was made,
// for the test output.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quill::test {

class TinyFilesystem {
public:
    // `pages` of 4 KiB and `inodes` inodes (the root folder takes one).
    TinyFilesystem(int pages, int inodes) {
        char base[] = "/tmp/quillmark-tinyfs-XXXXXX";
        if (!::mkdtemp(base)) {
            m_error = std::string("mkdtemp: ") + std::strerror(errno);
            return;
        }
        m_path = QString::fromLocal8Bit(base);
        const std::string options = "size=" + std::to_string(pages * 4) +
                                    "k,nr_inodes=" + std::to_string(inodes) + ",mode=0755";
        if (::mount("tmpfs", base, "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            m_error = std::string("mount -t tmpfs: ") + std::strerror(errno);
            ::rmdir(base);
            m_path.clear();
            return;
        }
        m_mounted = true;
    }
    ~TinyFilesystem() {
        if (m_path.isEmpty())
            return;
        const QByteArray p = m_path.toLocal8Bit();
        if (m_mounted && ::umount2(p.constData(), 0) != 0)
            ::umount2(p.constData(), MNT_DETACH);
        ::rmdir(p.constData());
    }
    TinyFilesystem(const TinyFilesystem&) = delete;
    TinyFilesystem& operator=(const TinyFilesystem&) = delete;

    bool ok() const { return m_mounted; }
    const std::string& error() const { return m_error; }
    QString path() const { return m_path; }
    QString at(const char* name) const { return m_path + QLatin1Char('/') + QLatin1String(name); }

    static std::string how() {
        return std::getenv("QUILLMARK_IN_USER_NAMESPACE")
                   ? "a tmpfs mounted in a user and mount namespace (not root)"
                   : "a tmpfs mounted as root";
    }

    // Fills the data pages, all but `leaveBytes`, with a file called
    // "filler"; returns the bytes it wrote.
    long long fill(long long leaveBytes = 0) const {
        const QByteArray name = (m_path + QStringLiteral("/filler")).toLocal8Bit();
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return -1;
        const std::string block(4096, 'f');
        long long written = 0;
        for (;;) {
            const ssize_t n = ::write(fd, block.data(), block.size());
            if (n <= 0)
                break;
            written += n;
        }
        // Give back what was asked for: a file shortened frees its pages.
        if (leaveBytes > 0 && written >= leaveBytes) {
            written -= leaveBytes;
            if (::ftruncate(fd, written) != 0)
                written = -1;
        }
        ::close(fd);
        return written;
    }

    // Takes every free inode with empty files "inode-N"; returns how many.
    int useUpInodes() const {
        for (int i = 0;; ++i) {
            const QByteArray name = (m_path + QStringLiteral("/inode-%1").arg(i)).toLocal8Bit();
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0)
                return errno == ENOSPC ? i : -1;
            ::close(fd);
        }
    }

private:
    QString m_path;
    bool m_mounted = false;
    std::string m_error;
};

} // namespace quill::test

namespace quill::test {

// Tests that mount need root. Anyone else runs the current test again in a
// user and mount namespace of its own (`unshare`), where mounting a tmpfs
// is allowed. Returns that run's exit status, or -1 when it could not be
// started (no `unshare`, or user namespaces switched off).
inline bool mustRerunInNamespace() {
    return ::geteuid() != 0 && !std::getenv("QUILLMARK_IN_USER_NAMESPACE");
}

inline int rerunInNamespace() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return -1;
    self[n] = '\0';
    if (std::system("unshare --user --map-root-user --mount true >/dev/null 2>&1") != 0)
        return -1;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string command = "QUILLMARK_IN_USER_NAMESPACE=1 unshare --user --map-root-user "
                                "--mount '" +
                                std::string(self) + "' --gtest_filter='" + info->test_suite_name() +
                                "." + info->name() + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

} // namespace quill::test

// Opens a test that needs a real tiny file system: as root, goes on; as
// anyone else, runs the test again in a namespace and takes its outcome.
#define QUILLMARK_TINYFS_OR_RERUN()                                                                \
    do {                                                                                           \
        if (quill::test::mustRerunInNamespace()) {                                                 \
            const int rc = quill::test::rerunInNamespace();                                        \
            if (rc == -1)                                                                          \
                GTEST_SKIP() << "not root and no user namespaces: no way to mount a tmpfs, "       \
                                "the full-disk cases did not run";                                 \
            ASSERT_EQ(rc, 0) << "the run in a user namespace failed";                              \
            return;                                                                                \
        }                                                                                          \
    } while (false)
