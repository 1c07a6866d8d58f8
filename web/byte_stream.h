// A read-only stream over bytes that someone else owns (the page's copy of a graph file in the
// module's memory): no copy, and seekable, so that a reader can size its tables by what is left.
#pragma once

#include <cstddef>
#include <istream>
#include <streambuf>

namespace orvo::web {

class ByteBuffer : public std::streambuf {
public:
    ByteBuffer(const char* bytes, size_t length) {
        char* first = const_cast<char*>(bytes);  // only ever read through the get area
        setg(first, first, first + length);
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                     std::ios_base::openmode which) override {
        if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
        const off_type size = egptr() - eback();
        off_type base = 0;
        if (way == std::ios_base::cur) base = gptr() - eback();
        if (way == std::ios_base::end) base = size;
        const off_type target = base + offset;
        if (target < 0 || target > size) return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }
};

/// The stream a reader takes; the bytes must outlive it.
class ByteStream : public std::istream {
public:
    ByteStream(const char* bytes, size_t length) : std::istream(nullptr), buffer_(bytes, length) {
        rdbuf(&buffer_);
    }

private:
    ByteBuffer buffer_;
};

}  // namespace orvo::web
