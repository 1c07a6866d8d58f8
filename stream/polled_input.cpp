// Reading a pipe or device a slice of time at a time.
#include "stream/polled_input.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ios>

namespace orvo {

namespace {

constexpr size_t kBufferBytes = 64 * 1024;
constexpr int kWaitMilliseconds = 50;

}  // namespace

PolledInputBuffer::PolledInputBuffer(int fd, std::function<bool()> goOn)
    : fd_(fd), goOn_(std::move(goOn)), buffer_(kBufferBytes) {}

PolledInputBuffer::~PolledInputBuffer() {
    if (fd_ >= 0) ::close(fd_);
}

// The stream that reads from us turns the exception into its badbit, as for any failed read.
PolledInputBuffer::int_type PolledInputBuffer::failed() {
    error_ = errno;
    throw std::ios_base::failure("read error");
}

PolledInputBuffer::int_type PolledInputBuffer::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (fd_ < 0 || error_ != 0) return traits_type::eof();
    for (;;) {
        pollfd wanted{fd_, POLLIN, 0};
        const int ready = ::poll(&wanted, 1, kWaitMilliseconds);
        if (ready < 0 && errno != EINTR) return failed();
        if (ready <= 0) {
            if (goOn_ && !goOn_()) return traits_type::eof();
            continue;
        }
        const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return failed();
        }
        if (got == 0) return traits_type::eof();  // every writer has closed the pipe
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(*gptr());
    }
}

PolledInputStream::PolledInputStream(int fd, std::function<bool()> goOn)
    : std::istream(nullptr), buffer_(std::make_unique<PolledInputBuffer>(fd, std::move(goOn))) {
    rdbuf(buffer_.get());
}

std::unique_ptr<std::istream> openPolledInput(const std::string& path,
                                              std::function<bool()> goOn) {
    // Without O_NONBLOCK, opening a pipe would wait until a writer opens it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PolledInputStream>(fd, std::move(goOn));
}

}  // namespace orvo
