#include "export/halves.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace quill {

void runInHalves(const std::function<void()>& mine, const std::function<void()>& other) {
    // Whichever thread claims `other` first runs it. The second thread is
    // detached: if this one claims it, that thread ends without touching
    // anything but the shared state, whenever it gets to run.
    struct Shared {
        std::mutex lock;
        std::condition_variable finished;
        bool claimed = false;
        bool done = false;
        std::exception_ptr failure;
    };
    const auto shared = std::make_shared<Shared>();
    const std::function<void()>* job = &other;
    try {
        std::thread([shared, job] {
            {
                const std::lock_guard<std::mutex> hold(shared->lock);
                if (shared->claimed)
                    return;
                shared->claimed = true;
            }
            std::exception_ptr failure;
            try {
                (*job)();
            } catch (...) {
                failure = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> hold(shared->lock);
                shared->failure = failure;
                shared->done = true;
            }
            shared->finished.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: both halves on this one.
    }
    mine();
    std::unique_lock<std::mutex> hold(shared->lock);
    if (!shared->claimed) {
        shared->claimed = true;
        hold.unlock();
        other();
        return;
    }
    shared->finished.wait(hold, [&] { return shared->done; });
    if (shared->failure)
        std::rethrow_exception(shared->failure);
}

} // namespace quill
