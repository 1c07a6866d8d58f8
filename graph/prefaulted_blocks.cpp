// The reserve of prefaulted blocks: one worker thread, a short list of ready blocks, and a count
// of the scopes that want them.
#include "graph/prefaulted_blocks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "graph/chunked_store.h"

namespace orvo {

namespace {

// Blocks kept ready: a reader takes one every few milliseconds at most and the worker makes one
// in about two, so two cover the bursts. Each is memory the read may end without using.
constexpr size_t kReadyBlocks = 2;
// Blocks a scope maps on demand before the worker starts: small reads are over before a thread
// and its blocks would pay off.
constexpr int kBlocksBeforeWorker = 4;
// A huge page is worth its block while the kernel finds and clears it faster than 512 small
// pages: a warm one takes about 0.2 ms, small pages about 0.6 ms. On a virtual machine whose
// host takes freed memory back, a fresh huge page took 2.5-4 ms, too slow to stay ahead of a
// read (1M: 1.05-1.12 s to read against 0.73-0.80 s); past this time a read's later blocks take
// small pages.
constexpr std::chrono::microseconds kSlowHugeBlock{1500};

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
        PageSize pages = PageSize::Huge;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || ready_.size() < kReadyBlocks; });
            if (stopping_) return;
            lock.unlock();
            const auto start = std::chrono::steady_clock::now();
            void* block = mapLargeBlock(kLargeBlockBytes, pages);
            if (block != nullptr) populate(block);
            if (std::chrono::steady_clock::now() - start > kSlowHugeBlock) pages = PageSize::Small;
            lock.lock();
            if (block == nullptr) return;  // out of address space: stop offering blocks
            ready_.push_back(block);
        }
    }

    // One call faults the whole block in (3.2 GB/s in small pages, against 2.6 for a write to
    // each page); kernels before 5.14 refuse it and get the writes.
    static void populate(void* block) {
#ifdef MADV_POPULATE_WRITE
        if (::madvise(block, kLargeBlockBytes, MADV_POPULATE_WRITE) == 0) return;
#endif
        touchEveryPage(block);
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
