// An input's whole text in memory of its own, for the parsers that want all of it at once: read
// straight into pages mapped for it (never copied through a growing string), in large pages
// where the system has them, and handed back to the system as soon as it goes.
#pragma once

#include <cstddef>
#include <istream>
#include <string_view>

namespace orvo {

class WholeText {
public:
    WholeText() = default;
    ~WholeText() { release(); }
    WholeText(const WholeText&) = delete;
    WholeText& operator=(const WholeText&) = delete;

    /// Reads the rest of the stream, with room for `padding` zero bytes after it (for parsers
    /// that read past the end). False on a read error, which leaves the stream's badbit set.
    /// Throws std::bad_alloc when there is no memory for it.
    bool read(std::istream& in, size_t padding = 0);
    /// Gives the memory back; the text is empty after.
    void release();

    char* data() { return data_; }
    size_t size() const { return size_; }
    /// The text and the room after it.
    size_t capacity() const { return mapped_; }
    std::string_view view() const { return {data_, size_}; }

private:
    void grow(size_t bytes);

    char* data_ = nullptr;
    size_t size_ = 0, mapped_ = 0;
};

}  // namespace orvo
