#pragma once
// Writes and removes the editor's recovery file on a thread of its own, so
// that neither coding the expression nor the disk's sync holds up the
// window: the window hands over a copy of the tables and goes on. Jobs run
// in the order given; a job not begun yet is replaced by a newer one, since
// only the last state matters.

#include "files/atomicwrite.h"
#include "files/recoveryfile.h"
#include "model/expression.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace quill {

class RecoveryStore;

class RecoveryWriter {
public:
    // `done` is told of every write's outcome, on the writer's thread.
    explicit RecoveryWriter(RecoveryStore& store, std::function<void(const FileResult&)> done = {});
    // Does the job in hand and the one waiting, then stops.
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    void write(Expression snapshot, RecoveryNote note);
    void remove();
    // Returns once every job given so far is done.
    void flush();

private:
    struct Job {
        bool remove = false;
        Expression expression;
        RecoveryNote note;
    };
    void run();

    RecoveryStore& m_store;
    std::function<void(const FileResult&)> m_done;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Job> m_next;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace quill
