#include "files/recoverywriter.h"

#include "files/recoverystore.h"

namespace quill {

RecoveryWriter::RecoveryWriter(RecoveryStore& store, std::function<void(const FileResult&)> done)
    : m_store(store), m_done(std::move(done)), m_thread([this] { run(); }) {}

RecoveryWriter::~RecoveryWriter() {
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void RecoveryWriter::write(Expression snapshot, RecoveryNote note) {
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_next = Job{false, std::move(snapshot), std::move(note)};
    }
    m_changed.notify_all();
}

void RecoveryWriter::remove() {
    {
        const std::lock_guard<std::mutex> hold(m_mutex);
        m_next = Job{true, {}, {}};
    }
    m_changed.notify_all();
}

void RecoveryWriter::flush() {
    std::unique_lock<std::mutex> hold(m_mutex);
    m_changed.wait(hold, [this] { return !m_next && !m_busy; });
}

void RecoveryWriter::run() {
    std::unique_lock<std::mutex> hold(m_mutex);
    for (;;) {
        m_changed.wait(hold, [this] { return m_next || m_stopping; });
        if (!m_next)
            return; // stopping, nothing left to do
        Job job = std::move(*m_next);
        m_next.reset();
        m_busy = true;
        hold.unlock();
        if (job.remove) {
            m_store.removeOwn();
        } else {
            const std::vector<std::uint8_t> bytes = encodeRecoveryFile(job.expression, job.note);
            const FileResult result =
                bytes.empty()
                    ? FileResult{false, QStringLiteral("The expression cannot be stored"), {}}
                    : m_store.write(bytes);
            if (m_done)
                m_done(result);
        }
        job = {}; // the copy of the tables goes here, not under the lock
        hold.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace quill
