// The mapped files and the bus-error handler that keeps them safe. A signal handler is the
// process's by nature: the table of mapped ranges it reads is the one state kept process-wide, in
// atomics, since the handler may run on any thread at any moment.
#include "memory/mapped_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace orvo {

namespace {

struct Slot {
    std::atomic<uintptr_t> begin{0}, end{0};
    std::atomic<bool> faulted{false};
};

Slot slots[kMappedFileSlots];
struct sigaction previousAction;
std::once_flag handlerInstalled;

// A fault inside a mapped file: the pages from the faulting one to the mapping's end become
// zeros, and the read that faulted runs again on them. Any other bus error goes to the handler
// that was there before (by default, the end of the process).
void onBusError(int signal, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Slot& slot : slots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (begin == 0 || at < begin || at >= end) continue;
        const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        const uintptr_t from = at & ~(page - 1);
        void* zeros = ::mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED) break;
        slot.faulted.store(true, std::memory_order_release);
        return;
    }
    if (previousAction.sa_flags & SA_SIGINFO) {
        if (previousAction.sa_sigaction != nullptr) {
            previousAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
        return;
    }
    // The default action: returning runs the read again, which now ends the process.
    ::signal(SIGBUS, SIG_DFL);
}

void installHandler() {
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previousAction);
}

}  // namespace

MappedFile::~MappedFile() {
    if (fd_ >= 0) ::close(fd_);
    if (data_ == nullptr) return;
    slots[slot_].begin.store(0, std::memory_order_release);
    slots[slot_].end.store(0, std::memory_order_release);
    ::munmap(data_, size_);
}

std::string MappedFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    return adopt(fd);
}

std::string MappedFile::openDescriptor(int fd) {
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return std::strerror(errno);
    return adopt(own);
}

std::string MappedFile::adopt(int fd) {
    std::call_once(handlerInstalled, installHandler);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return std::strerror(error);
    }
    if (!S_ISREG(info.st_mode) || info.st_size == 0) {
        ::close(fd);
        return S_ISREG(info.st_mode) ? "it is empty" : "it is not a regular file";
    }
    const auto size = static_cast<size_t>(info.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    const int mapError = errno;
    if (mapped == MAP_FAILED) {
        ::close(fd);
        return std::strerror(mapError);
    }
    const auto begin = reinterpret_cast<uintptr_t>(mapped);
    for (int i = 0; i < kMappedFileSlots; ++i) {
        uintptr_t free = 0;
        if (!slots[i].begin.compare_exchange_strong(free, begin)) continue;
        slots[i].faulted.store(false);
        slots[i].end.store(begin + size, std::memory_order_release);
        data_ = static_cast<unsigned char*>(mapped);
        size_ = size;
        slot_ = i;
        fd_ = fd;
        return "";
    }
    ::close(fd);
    ::munmap(mapped, size);
    return "too many files are mapped at once";
}

bool MappedFile::changed() const {
    return data_ != nullptr && slots[slot_].faulted.load(std::memory_order_acquire);
}

bool MappedFile::copy(uint64_t offset, void* to, size_t bytes) const {
    auto* out = static_cast<unsigned char*>(to);
    size_t done = 0;
    while (fd_ >= 0 && done < bytes && offset + done < size_) {
        const ssize_t got =
            ::pread(fd_, out + done, bytes - done, static_cast<off_t>(offset + done));
        if (got > 0) {
            done += static_cast<size_t>(got);
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    if (done == bytes) return true;
    std::memset(out + done, 0, bytes - done);
    // Within the mapping's length, the file was cut short since it was mapped.
    if (data_ != nullptr && offset + done < size_)
        slots[slot_].faulted.store(true, std::memory_order_release);
    return false;
}

}  // namespace orvo
