#include "app/recoverycontroller.h"

#include "app/mainpanel.h"
#include "app/platform/platform.h"
#include "app/widgets.h"
#include "files/recoveryfile.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>

namespace quill {

namespace {
qint64 steadyMs() {
    static QElapsedTimer started;
    if (!started.isValid())
        started.start();
    return started.elapsed();
}
} // namespace

RecoveryController::RecoveryController(MainPanel& panel, Platform& platform, const QString& folder,
                                       Timing timing)
    : clock(steadyMs), m_panel(panel), m_platform(platform), m_timing(timing), m_store(folder),
      m_writer(m_store, [this](const FileResult& r) {
          // Told on the writer's thread; dropped should this be gone.
          QMetaObject::invokeMethod(
              this, [this, r] { written(r); }, Qt::QueuedConnection);
      }) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { writeNow(); });
    if (folder.isEmpty())
        return; // keeps nothing
    connect(&panel, &MainPanel::expressionTouched, this, [this] { touched(); });
    connect(&panel, &MainPanel::expressionKept, this, [this](const QString& p) { kept(p); });
    connect(&panel, &MainPanel::changesDiscarded, this, [this] { discarded(); });
}

RecoveryController::~RecoveryController() {
    m_timer.stop();
    if (unkept()) {
        writeNow();
        m_writer.flush(); // the file stays, to be offered at the next start
        return;
    }
    m_writer.flush();
    m_store.close();
}

bool RecoveryController::unkept() const {
    const ChangeTracker& t = m_panel.changeTracker;
    return !m_store.folder().isEmpty() && t.hasUnsavedChanges() && m_discarded != t.current();
}

void RecoveryController::touched() {
    const ChangeTracker::Revision now = m_panel.changeTracker.current();
    if (!unkept()) {
        // Back at the saved state (an undo), or let go: nothing to keep.
        dropFile();
        return;
    }
    if (m_written == now || m_timer.isActive())
        return; // in the file already, or a write is on its way
    const qint64 sinceWrite = m_lastWriteAt ? clock() - *m_lastWriteAt : m_timing.gapMs;
    m_timer.start(static_cast<int>(
        std::max<qint64>(m_timing.quietMs, m_timing.gapMs - std::max<qint64>(0, sinceWrite))));
}

void RecoveryController::writeNow() {
    m_timer.stop();
    const ChangeTracker::Revision now = m_panel.changeTracker.current();
    if (!unkept() || m_written == now)
        return;
    RecoveryNote note;
    note.belongsTo = m_belongsTo;
    note.writtenAtMs = QDateTime::currentMSecsSinceEpoch();
    // The one piece on the window's thread: a copy of the tables.
    m_writer.write(m_panel.expression, std::move(note));
    m_written = now;
    m_lastWriteAt = clock();
    m_fileMayExist = true;
}

int RecoveryController::dueInMs() const {
    return m_timer.isActive() ? m_timer.interval() : -1;
}

void RecoveryController::flush() {
    m_writer.flush();
}

void RecoveryController::kept(const QString& path) {
    m_belongsTo = path;
    m_discarded.reset();
    dropFile();
}

void RecoveryController::discarded() {
    m_discarded = m_panel.changeTracker.current();
    dropFile();
}

void RecoveryController::dropFile() {
    m_timer.stop();
    m_written.reset();
    if (m_fileMayExist)
        m_writer.remove();
    m_fileMayExist = false;
}

void RecoveryController::written(const FileResult& result) {
    if (result.ok) {
        m_failing = false;
        return;
    }
    // Said once until a write succeeds again; the window goes on as it is.
    if (!m_failing)
        std::fprintf(stderr, "corvel-quillmark: the unsaved expression could not be kept: %s\n",
                     result.message.toLocal8Bit().constData());
    m_failing = true;
    m_written.reset();
    if (unkept() && !m_timer.isActive())
        m_timer.start(m_timing.retryMs);
}

void RecoveryController::offerLeftBehind() {
    if (m_store.folder().isEmpty())
        return;
    std::vector<RecoveryStore::LeftBehind> left = m_store.leftBehind();
    for (std::size_t next = 0; next < left.size(); ++next) {
        std::optional<RecoveryStore::Claim> claim = m_store.claim(left[next].file);
        if (!claim)
            continue; // taken back by an editor that started meanwhile
        RecoveryRead read = readRecoveryFile(claim->file(), m_panel.expression);
        if (!read.ok) {
            // Refused as any damaged file is, and kept where the user finds it.
            const QString file = claim->file();
            const QString aside = m_store.setAside(std::move(*claim));
            m_platform.messageBox(
                &m_panel,
                {QStringLiteral("Could not recover \"%1\": %2. The file is kept as \"%3\".")
                     .arg(QDir::toNativeSeparators(file), read.why,
                          QDir::toNativeSeparators(aside)),
                 QStringLiteral("Recover"), MessageIcon::Critical});
            continue;
        }
        const QString when = QDateTime::fromMSecsSinceEpoch(read.note.writtenAtMs)
                                 .toLocalTime()
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        const QString where = read.note.belongsTo.isEmpty()
                                  ? QStringLiteral("never saved")
                                  : QDir::toNativeSeparators(read.note.belongsTo);
        QString text =
            QStringLiteral("Recover the unsaved expression from %1 (%2)?").arg(when, where);
        const std::size_t others = left.size() - next - 1;
        if (others > 0)
            text += QStringLiteral("\n\nIt is the newest of %1 unsaved expressions left behind; "
                                   "the others are offered at the next starts.")
                        .arg(others + 1);
        switch (m_platform.askRecover(&m_panel, {text, QStringLiteral("Corvel Quillmark")})) {
        case RecoverAnswer::Recover: {
            // The file becomes this window's recovery file at once, so that
            // it is never without one.
            m_fileMayExist = m_store.adopt(std::move(*claim));
            if (m_panel.imageSet != VbFalse)
                m_panel.LeaveImageMode();
            m_belongsTo = read.note.belongsTo;
            m_panel.expression = std::move(read.expression);
            m_panel.Redraw();
            m_panel.expressionChanged(); // changes flagged: Save asks where
            if (m_fileMayExist) {
                m_timer.stop();
                m_written = m_panel.changeTracker.current();
            }
            break;
        }
        case RecoverAnswer::Discard:
            m_store.discard(std::move(*claim));
            break;
        case RecoverAnswer::Later:
            break;
        }
        m_panel.Picture4->setFocus();
        return;
    }
}

} // namespace quill
