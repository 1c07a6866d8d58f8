// A text stream read byte by byte through a buffer of its own, counting lines: for the readers
// that tokenize as they read, so that a large file is never held whole.
#pragma once

#include <algorithm>
#include <cstdint>
#include <istream>
#include <string_view>
#include <vector>

namespace orvo {

class ChunkedText {
public:
    static constexpr int kEnd = -1;

    explicit ChunkedText(std::istream& in) : in_(in), buffer_(1 << 16) {}

    /// The next byte (0 to 255) without taking it, or kEnd.
    int peek() {
        if (at_ == size_ && !refill()) return kEnd;
        return static_cast<unsigned char>(buffer_[at_]);
    }
    /// Takes the next byte, or returns kEnd.
    int get() {
        const int c = peek();
        if (c != kEnd) {
            ++at_;
            if (c == '\n') ++line_;
        }
        return c;
    }
    /// The bytes buffered from the next one on, empty only at the end: a tokenizer scans a run
    /// of them at once and then take()s it.
    std::string_view buffered() {
        if (at_ == size_ && !refill()) return {};
        return {buffer_.data() + at_, size_ - at_};
    }
    /// Takes `n` of the buffered bytes.
    void take(size_t n) {
        line_ +=
            static_cast<uint64_t>(std::count(buffer_.data() + at_, buffer_.data() + at_ + n, '\n'));
        at_ += n;
    }
    /// The line of the next byte, from 1.
    uint64_t line() const { return line_; }
    /// Bytes taken so far.
    uint64_t taken() const { return before_ + at_; }

private:
    bool refill() {
        before_ += size_;
        in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        size_ = static_cast<size_t>(in_.gcount());
        at_ = 0;
        return size_ > 0;
    }

    std::istream& in_;
    std::vector<char> buffer_;
    size_t at_ = 0, size_ = 0;
    uint64_t before_ = 0, line_ = 1;
};

}  // namespace orvo
