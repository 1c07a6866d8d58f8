// A stream over a pipe or a device that never keeps the window waiting for long: while no byte
// comes (a writer that is slow, or silent with the pipe still open), it asks every few tens of
// milliseconds whether to go on, so that the progress box repaints and its Cancel is heard. A
// blocking read would hang the window until the writer wrote again.
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

namespace orvo {

class PolledInputBuffer : public std::streambuf {
public:
    /// Takes over `fd` (closed with the buffer). `goOn` is called while waiting for bytes; the
    /// stream ends when it returns false.
    PolledInputBuffer(int fd, std::function<bool()> goOn);
    ~PolledInputBuffer() override;
    PolledInputBuffer(const PolledInputBuffer&) = delete;
    PolledInputBuffer& operator=(const PolledInputBuffer&) = delete;

    /// The errno of a failed read (0 when none failed); the stream then has its badbit set.
    int error() const { return error_; }

protected:
    int_type underflow() override;

private:
    int_type failed();

    int fd_;
    std::function<bool()> goOn_;
    std::vector<char> buffer_;
    int error_ = 0;
};

/// An input stream over a PolledInputBuffer; badbit is set when a read fails.
class PolledInputStream : public std::istream {
public:
    PolledInputStream(int fd, std::function<bool()> goOn);

private:
    std::unique_ptr<PolledInputBuffer> buffer_;
};

/// Opens a pipe or device for reading without waiting for a writer; nullptr (errno set) when it
/// cannot be opened.
std::unique_ptr<std::istream> openPolledInput(const std::string& path, std::function<bool()> goOn);

}  // namespace orvo
