#pragma once
// The recovery folder ($XDG_STATE_HOME/corvel-quillmark/recovery) and this
// editor's place in it. Every editor that has something to keep has a
// recovery file NAME.exp (recoveryfile.h) and a lock file NAME.lock, on
// which it holds an exclusive lock (flock) for as long as it runs. The
// system lets go of the lock when the process ends, however it ends (a
// crash, kill -9, a power cut), so a recovery file whose lock can be taken
// was left by an editor that no longer runs; a process id could have been
// given to another process since. Nothing is made until the first write:
// an editor that never had unsaved changes leaves no trace.
//
// A recovery file found damaged is renamed "damaged-NAME.exp" and left for
// the user; it is not offered again.

#include "files/atomicwrite.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace quill {

class RecoveryStore {
public:
    // `folder` empty: keep nothing (every write fails quietly).
    explicit RecoveryStore(QString folder, const SaveSystemCalls& calls = {});
    // Lets go of the locks held; the files stay.
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore&) = delete;
    RecoveryStore& operator=(const RecoveryStore&) = delete;

    const QString& folder() const { return m_folder; }
    // This editor's recovery file, whether or not it exists.
    QString ownFile() const;

    // Replaces this editor's recovery file through the atomic writer,
    // making the folder and taking the lock first. A failure leaves the
    // previous recovery file as it was.
    FileResult write(std::span<const std::uint8_t> bytes);
    // Removes this editor's recovery file; the lock stays while it runs.
    void removeOwn();
    // A clean exit: the recovery file and the lock go, and the folders
    // made for them when they are empty.
    void close();

    // A recovery file of an editor that no longer runs.
    struct LeftBehind {
        QString file;
        QDateTime modified;
    };
    // Those there are now, newest first. None of their locks stays taken.
    std::vector<LeftBehind> leftBehind();

    // Holds a left-behind recovery file (its lock taken) while the user
    // decides what becomes of it; lets go of it when destroyed.
    class Claim {
    public:
        Claim(Claim&& other) noexcept;
        Claim& operator=(Claim&&) = delete;
        ~Claim();
        const QString& file() const { return m_file; }

    private:
        friend class RecoveryStore;
        Claim(QString file, QString lockFile, int fd)
            : m_file(std::move(file)), m_lockFile(std::move(lockFile)), m_fd(fd) {}
        QString m_file;
        QString m_lockFile;
        int m_fd = -1;
    };
    // Nothing when its editor runs again, another editor holds it, or the
    // file is gone.
    std::optional<Claim> claim(const QString& file);
    // The claimed file becomes this editor's recovery file.
    bool adopt(Claim claim);
    // The claimed file and its lock go.
    void discard(Claim claim);
    // The claimed file is damaged: renamed aside, kept for the user, and
    // never offered again. Returns its new name (its old one on failure).
    QString setAside(Claim claim);

    // The folders made for the recovery folder, outermost first.
    const QStringList& madeFolders() const { return m_made; }

private:
    bool takeOwnLock(); // with m_lock held
    QString at(const QString& name) const;

    QString m_folder;
    SaveSystemCalls m_calls;
    QString m_id;
    std::mutex m_lock;
    int m_lockFd = -1;
    QStringList m_made;
};

// Takes the exclusive lock on a lock file, making the file if it is not
// there; -1 when another process holds it or it cannot be opened.
int takeRecoveryLock(const QString& lockFile);

} // namespace quill
