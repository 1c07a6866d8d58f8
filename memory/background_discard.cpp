// One detached thread per discard; a count of those still running lets a caller wait for them.
#include "memory/background_discard.h"

#if ORVO_PLAIN_MEMORY

namespace orvo {

// The plain build starts no thread: the remains are destroyed here, before the call returns.
void discardInBackground(std::shared_ptr<void> remains) { remains.reset(); }

void waitForBackgroundDiscards() {}

}  // namespace orvo

#else

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

namespace orvo {

namespace {

struct Pending {
    std::mutex mutex;
    std::condition_variable finished;
    int count = 0;
};

// Never destroyed: a discard may still run while the program exits.
Pending& pending() {
    static Pending* instance = new Pending;
    return *instance;
}

void finishOne() {
    Pending& p = pending();
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        --p.count;
    }
    p.finished.notify_all();
}

// A program that ends while a discard runs waits for it: the memory would be gone anyway, but
// what is left half destroyed would look like a leak to a leak checker.
void waitAtExit() { waitForBackgroundDiscards(); }

}  // namespace

void discardInBackground(std::shared_ptr<void> remains) {
    static const bool waitsAtExit = std::atexit(waitAtExit) == 0;
    (void)waitsAtExit;
    Pending& p = pending();
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        ++p.count;
    }
    try {
        std::thread([remains = std::move(remains)]() mutable {
            remains.reset();
            finishOne();
        }).detach();
    } catch (const std::system_error&) {
        // The thread did not start; its function, and the remains with it, are gone already.
        finishOne();
    }
}

void waitForBackgroundDiscards() {
    Pending& p = pending();
    std::unique_lock<std::mutex> lock(p.mutex);
    p.finished.wait(lock, [&p] { return p.count == 0; });
}

}  // namespace orvo

#endif
