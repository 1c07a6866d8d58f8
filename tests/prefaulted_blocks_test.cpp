// The reserve of prefaulted blocks (resident, aligned, writable; its thread lives only while a
// scope wants blocks), huge-page tables, and the lock processes take in turn to change one file.
#include "memory/prefaulted_blocks.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "memory/chunked_store.h"
#include "memory/file_lock.h"
#include "memory/huge_page_allocator.h"
#include "tests/test_files.h"
#include "tests/test_time.h"

namespace orvo {
namespace {

int threadCount() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return -1;
}

double residentShare(void* block) {
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident(kLargeBlockBytes / static_cast<size_t>(page));
    if (::mincore(block, kLargeBlockBytes, resident.data()) != 0) return -1;
    size_t in = 0;
    for (unsigned char r : resident) in += r & 1;
    return double(in) / double(resident.size());
}

// The last value `get` gives once `done` holds, or after 20 s (a joined thread may linger in the
// thread count for a moment; a busy machine may be slow to prefault).
template <typename Get, typename Done>
auto settled(Get get, Done done) {
    auto value = get();
    testing::waitUntil([&] { return done(value) || done(value = get()); }, std::chrono::seconds(20),
                       [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    return value;
}
int settledThreadCount(int expected) {
    return settled(threadCount, [expected](int n) { return n == expected; });
}

TEST(PrefaultedBlocks, HandsOutResidentBlocksOnlyWhileAScopeLives) {
    EXPECT_EQ(takePrefaultedBlock(), nullptr);
    // Threads that earlier tests in this process started may still be ending.
    const int threadsBefore = settledThreadCount(1);
    // A block mapped on demand has no page yet: the residency check can tell the two apart.
    void* fresh = mapLargeBlock(kLargeBlockBytes);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(residentShare(fresh), 0.0);
    freeLargeBlock(fresh, kLargeBlockBytes);
    // Twice: a new scope starts a new thread.
    for (const int wanted : {3, 1}) {
        std::vector<void*> taken;
        {
            const PrefaultedBlocks outer;
            {
                const PrefaultedBlocks inner;  // scopes nest; the inner one's end stops nothing
                // The first few requests of a scope are left to mapping on demand.
                for (int i = 0; i < 4; ++i) EXPECT_EQ(takePrefaultedBlock(), nullptr);
            }
            for (int i = 0; i < wanted; ++i) {
                void* block = settled(takePrefaultedBlock, [](void* b) { return b != nullptr; });
                ASSERT_NE(block, nullptr) << "block " << i;
                taken.push_back(block);
                EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % kLargeBlockBytes, 0u);
                EXPECT_EQ(residentShare(block), 1.0);
                std::memset(block, 0x5a, kLargeBlockBytes);
            }
            EXPECT_GT(threadCount(), threadsBefore);
            EXPECT_NE(allocateLargeBlock(kLargeBlockBytes), nullptr);  // taken or mapped
        }
        // The last scope's end stops the thread and keeps no block back.
        EXPECT_EQ(settledThreadCount(threadsBefore), threadsBefore);
        EXPECT_EQ(takePrefaultedBlock(), nullptr);
        // Blocks handed out stay the taker's.
        for (void* block : taken) {
            EXPECT_EQ(static_cast<unsigned char*>(block)[kLargeBlockBytes - 1], 0x5a);
            freeLargeBlock(block, kLargeBlockBytes);
        }
    }
}

// A table grown past 2 MiB moves into aligned huge-page blocks keeping its values; shrunk, back.
TEST(HugePageAllocator, TablesKeepTheirValuesAcrossTheBlockSize) {
    std::vector<uint64_t, HugePageAllocator<uint64_t>> table;
    constexpr size_t kCount = 3 * kLargeBlockBytes / sizeof(uint64_t) + 5;
    for (size_t i = 0; i < kCount; ++i) table.push_back(i * 2654435761u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(table.data()) % kLargeBlockBytes, 0u);
    for (size_t i = 0; i < kCount; ++i) ASSERT_EQ(table[i], i * 2654435761u) << i;
    // The whole rounded-up block is the table's: writing up to its capacity is safe.
    table.resize(table.capacity(), 7);
    EXPECT_EQ(table.back(), 7u);

    decltype(table) small(100, 1);
    small.swap(table);
    EXPECT_EQ(table.size(), 100u);
    EXPECT_EQ(small[kCount - 1], (kCount - 1) * 2654435761u);
    small.clear();
    small.shrink_to_fit();
    EXPECT_EQ(small.capacity(), 0u);
    EXPECT_THROW(small.reserve(small.max_size()), std::bad_alloc);
}

// Processes each reading a count, waiting and writing it back one higher: none loses a step.
TEST(FileLock, ProcessesChangingOneFileTakeTurns) {
    testing::TempDir folder;
    const std::string counter = folder.file("count"), lockPath = folder.file("count.lock");
    testing::writeWholeFile(counter, "0");
    constexpr int kProcesses = 4, kSteps = 50;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool allHeld = true;
            for (int step = 0; step < kSteps; ++step) {
                const FileLock lock(lockPath);
                allHeld = allHeld && lock.held();
                const long count = std::stol(testing::readWholeFile(counter));
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                std::ofstream(counter, std::ios::trunc) << count + 1;
            }
            ::_exit(allHeld ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a lock was not held";
    }
    EXPECT_EQ(testing::readWholeFile(counter), std::to_string(kProcesses * kSteps));
    EXPECT_FALSE(FileLock(folder.file("no-such-folder/count.lock")).held());
}

}  // namespace
}  // namespace orvo
