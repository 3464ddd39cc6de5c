#pragma once
// Nothing lost when the program or the machine dies: the window's unsaved
// expression is kept in a recovery file (files/recoverystore.h), and what
// editors that no longer run left behind is offered at start-up.
//
// A change that leaves the expression unlike its saved state is written
// once the editor has been quiet for a second, and while changes go on no
// sooner than two seconds after the last write: the file is never more
// than about two seconds behind. The window's thread only copies the
// tables; coding and writing them (through the atomic writer) is the
// writer thread's. An expression equal to its saved state is never written,
// and its recovery file goes: after a Save, New or Open, an undo back to
// the saved state, a Discard in the unsaved-changes question and a clean
// exit. An exit that leaves changes unsaved (the session ended without
// leave to ask) writes them and keeps the file.

#include "files/recoverystore.h"
#include "files/recoverywriter.h"
#include "model/changetracker.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

namespace quill {

class MainPanel;
class Platform;

class RecoveryController : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int quietMs = 1000; // after the last change
        int gapMs = 2000;   // between two writes
        int retryMs = 5000; // after a write that failed
    };

    // Keeps the recovery files of `panel` in `folder`; an empty folder
    // keeps none. The window and the platform must outlive it.
    RecoveryController(MainPanel& panel, Platform& platform, const QString& folder, Timing timing);
    RecoveryController(MainPanel& panel, Platform& platform, const QString& folder)
        : RecoveryController(panel, platform, folder, Timing{}) {}
    // The window closes: its recovery file goes, or, with changes it was
    // not told to let go, is written and kept.
    ~RecoveryController() override;

    // After the splash: the newest recovery file of an editor that no
    // longer runs is offered ("Recover the unsaved expression from DATE
    // (FILE)?"): Recover makes it the expression, with its changes flagged,
    // Discard removes it, Later keeps it for the next start. A damaged one
    // is refused with a message, renamed aside and kept for the user.
    void offerLeftBehind();

    // The timer's work: writes the recovery file when one is due.
    void writeNow();
    // Milliseconds until the next write, or -1 when none is due.
    int dueInMs() const;
    // Returns once the writer has written or removed what it was given.
    void flush();

    // Milliseconds on a steady clock; tests set their own.
    std::function<qint64()> clock;
    RecoveryStore& store() { return m_store; }
    // The file the expression belongs to, as the next write notes it.
    const QString& belongsTo() const { return m_belongsTo; }

private:
    void touched();
    void kept(const QString& path);
    void discarded();
    void written(const FileResult& result);
    void dropFile();
    bool unkept() const;

    MainPanel& m_panel;
    Platform& m_platform;
    Timing m_timing;
    RecoveryStore m_store;
    RecoveryWriter m_writer; // after the store it writes to
    QTimer m_timer;
    QString m_belongsTo;
    // The revision the recovery file holds, and the one the user let go.
    std::optional<ChangeTracker::Revision> m_written;
    std::optional<ChangeTracker::Revision> m_discarded;
    std::optional<qint64> m_lastWriteAt;
    bool m_fileMayExist = false;
    bool m_failing = false;
};

} // namespace quill
