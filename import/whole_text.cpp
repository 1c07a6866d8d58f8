// An input's whole text in pages mapped for it.
#include "import/whole_text.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

namespace orvo {

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kFirstRoom = size_t{1} << 20;  // when the stream cannot tell its size

size_t pagesFor(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

}  // namespace

void WholeText::grow(size_t bytes) {
    bytes = pagesFor(bytes);
    void* p = data_ == nullptr ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                               : ::mremap(data_, mapped_, bytes, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) throw std::bad_alloc();
    // Large pages spare the system a fault per 4 KiB page on a text of hundreds of MiB; a
    // system without them maps small ones as before.
    ::madvise(p, bytes, MADV_HUGEPAGE);
    data_ = static_cast<char*>(p);
    mapped_ = bytes;
}

void WholeText::release() {
    if (data_ != nullptr) ::munmap(data_, mapped_);
    data_ = nullptr;
    size_ = mapped_ = 0;
}

bool WholeText::read(std::istream& in, size_t padding) {
    release();
    size_t expected = 0;
    const std::istream::pos_type start = in.tellg();
    if (start != std::istream::pos_type(-1)) {
        in.seekg(0, std::ios::end);
        const std::istream::pos_type end = in.tellg();
        if (end != std::istream::pos_type(-1) && end > start) expected = size_t(end - start);
        in.clear();
        in.seekg(start);
    } else {
        in.clear();  // a pipe or a decompressed stream cannot tell; it is read as it comes
    }
    // A page beyond the size told, so that a file that is just that size is read to its end
    // without growing the room.
    grow((expected > 0 ? expected + kPage : kFirstRoom) + padding);
    while (true) {
        if (mapped_ - size_ <= padding) grow(mapped_ * 2);
        in.read(data_ + size_, std::streamsize(mapped_ - size_ - padding));
        size_ += size_t(in.gcount());
        if (!in) break;
    }
    return !in.bad();
}

}  // namespace orvo
