// The reserve of prefaulted blocks: one worker thread, a short list of ready blocks, and a count
// of the scopes that want them.
#include "memory/prefaulted_blocks.h"

#if ORVO_PLAIN_MEMORY

namespace orvo {

// The plain build has no thread to spare and no page faults worth avoiding: no reserve.
PrefaultedBlocks::PrefaultedBlocks() = default;
PrefaultedBlocks::~PrefaultedBlocks() = default;

void* takePrefaultedBlock() { return nullptr; }

}  // namespace orvo

#else

#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "memory/chunked_store.h"

namespace orvo {

namespace {

// Blocks kept ready: a reader takes one every few milliseconds at most and the worker makes one
// in about two, so two cover the bursts. Each is memory the read may end without using.
constexpr size_t kReadyBlocks = 2;
// Blocks a scope maps on demand before the worker starts: small reads are over before a thread
// and its blocks would pay off.
constexpr int kBlocksBeforeWorker = 4;

class Reserve {
public:
    void join() {
        std::lock_guard<std::mutex> lifetime(lifetimeMutex_);
        std::lock_guard<std::mutex> lock(mutex_);
        ++scopes_;
        asked_ = 0;
    }

    void leave() {
        std::lock_guard<std::mutex> lifetime(lifetimeMutex_);
        std::thread worker;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (--scopes_ > 0) return;
            stopping_ = true;
            worker.swap(worker_);
        }
        wake_.notify_all();
        if (worker.joinable()) worker.join();
        std::lock_guard<std::mutex> lock(mutex_);
        for (void* block : ready_) freeLargeBlock(block, kLargeBlockBytes);
        ready_.clear();
        stopping_ = false;
    }

    void* take() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (scopes_ == 0 || stopping_) return nullptr;
        if (!worker_.joinable() && !workerFailed_ && ++asked_ > kBlocksBeforeWorker) {
            try {
                worker_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                workerFailed_ = true;  // no thread to spare: blocks are mapped on demand
            }
        }
        if (ready_.empty()) return nullptr;
        void* block = ready_.back();
        ready_.pop_back();
        lock.unlock();
        wake_.notify_one();
        return block;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || ready_.size() < kReadyBlocks; });
            if (stopping_) return;
            lock.unlock();
            void* block = mapLargeBlock(kLargeBlockBytes);
            if (block != nullptr) touchEveryPage(block);
            lock.lock();
            if (block == nullptr) return;  // out of address space: stop offering blocks
            ready_.push_back(block);
        }
    }

    static void touchEveryPage(void* block) {
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        const size_t step = pageSize > 0 ? static_cast<size_t>(pageSize) : 4096;
        auto* bytes = static_cast<volatile char*>(block);
        for (size_t offset = 0; offset < kLargeBlockBytes; offset += step) bytes[offset] = 0;
    }

    std::mutex lifetimeMutex_;  // orders joins and leaves, so a leave's join of the thread
                                // finishes before a new scope can start another
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<void*> ready_;
    std::thread worker_;
    int scopes_ = 0;
    int asked_ = 0;  // blocks asked for since a scope last joined, until the worker starts
    bool stopping_ = false;
    bool workerFailed_ = false;
};

// Never destroyed: a program that exits while a read runs on another thread must not meet a
// joinable thread in a destructor.
Reserve& reserve() {
    static Reserve* instance = new Reserve;
    return *instance;
}

}  // namespace

PrefaultedBlocks::PrefaultedBlocks() { reserve().join(); }
PrefaultedBlocks::~PrefaultedBlocks() { reserve().leave(); }

void* takePrefaultedBlock() { return reserve().take(); }

}  // namespace orvo

#endif
