#include "export/halves.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace quill {

namespace {

// One helper thread for the whole process, started on first use and
// waiting between jobs. Starting a thread for every job cost more than the
// job saved whenever the system was slow to give a new thread its stack
// and a processor; a thread already waiting is only woken.
class Helper {
public:
    // The helper, or null where no thread can be had.
    static Helper* get() {
        // Never destroyed: the thread waits until the process ends.
        static Helper* const helper = [] {
            auto* h = new Helper;
            try {
                std::thread([h] { h->serve(); }).detach();
            } catch (const std::system_error&) {
                delete h;
                return static_cast<Helper*>(nullptr);
            }
            return h;
        }();
        return helper;
    }

    // Offers `job` to the helper; false if it is busy with another caller's.
    bool offer(const std::function<void()>& job) {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            if (m_job != nullptr)
                return false;
            m_job = &job;
            m_claimed = false;
            m_done = false;
            m_failure = nullptr;
        }
        m_wake.notify_one();
        return true;
    }

    // Takes the offered job back if the helper has not begun it (true: the
    // caller runs it); else waits until the helper has finished it.
    bool withdrawOrWait() {
        std::unique_lock<std::mutex> hold(m_lock);
        if (!m_claimed) {
            m_job = nullptr;
            return true;
        }
        m_finished.wait(hold, [this] { return m_done; });
        m_job = nullptr;
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
        return false;
    }

private:
    void serve() {
        std::unique_lock<std::mutex> hold(m_lock);
        for (;;) {
            m_wake.wait(hold, [this] { return m_job != nullptr && !m_claimed; });
            m_claimed = true;
            const std::function<void()>* job = m_job;
            hold.unlock();
            std::exception_ptr failure;
            try {
                (*job)();
            } catch (...) {
                failure = std::current_exception();
            }
            hold.lock();
            m_failure = failure;
            m_done = true;
            m_finished.notify_one();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    const std::function<void()>* m_job = nullptr; // offered, until its caller is done
    bool m_claimed = false;                       // the helper has begun it
    bool m_done = false;                          // the helper has finished it
    std::exception_ptr m_failure;
};

} // namespace

void runInHalves(const std::function<void()>& mine, const std::function<void()>& other) {
    Helper* const helper = Helper::get();
    if (helper == nullptr || !helper->offer(other)) {
        mine();
        other();
        return;
    }
    try {
        mine();
    } catch (...) {
        // `other` may be running on the helper and refers to the caller's
        // state: it must be over before that state goes.
        try {
            helper->withdrawOrWait();
        } catch (...) {
        }
        throw;
    }
    if (helper->withdrawOrWait())
        other();
}

} // namespace quill
