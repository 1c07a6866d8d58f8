// Block management of the text arena: blocks double from 4 KiB to the 2 MiB of a huge page, so
// a small graph stays small and a big one sits in huge-page-backed blocks.
#include "memory/text_arena.h"

#include <cstring>
#include <new>
#include <utility>

#include "memory/chunked_store.h"

namespace orvo {

namespace {
constexpr size_t kFirstBlockBytes = 4096;
}  // namespace

TextArena::TextArena(TextArena&& other) noexcept
    : blocks_(std::move(other.blocks_)),
      next_(std::exchange(other.next_, nullptr)),
      left_(std::exchange(other.left_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {
    other.blocks_.clear();
}

TextArena& TextArena::operator=(TextArena&& other) noexcept {
    if (this != &other) {
        clear();
        blocks_ = std::move(other.blocks_);
        other.blocks_.clear();
        next_ = std::exchange(other.next_, nullptr);
        left_ = std::exchange(other.left_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

std::string_view TextArena::store(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > left_) addBlock(text.size());
    char* copy = next_;
    std::memcpy(copy, text.data(), text.size());
    next_ += text.size();
    left_ -= text.size();
    return {copy, text.size()};
}

void TextArena::clear() {
    for (const Block& b : blocks_) {
        if (b.large) {
            freeLargeBlock(b.data, b.size);
        } else {
            ::operator delete(b.data);
        }
    }
    blocks_.clear();
    next_ = nullptr;
    left_ = 0;
    capacity_ = 0;
}

void TextArena::addBlock(size_t atLeast) {
    size_t size = blocks_.empty() ? kFirstBlockBytes : blocks_.back().size * 2;
    if (size > kLargeBlockBytes) size = kLargeBlockBytes;
    if (size < atLeast) size = atLeast;  // a text longer than any block gets one of its own
    Block b{nullptr, size, false};
    if (size == kLargeBlockBytes) {
        b.data = static_cast<char*>(allocateLargeBlock(size));
        b.large = b.data != nullptr;
    }
    if (b.data == nullptr) b.data = static_cast<char*>(::operator new(size));
    blocks_.push_back(b);
    capacity_ += size;
    next_ = b.data;
    left_ = size;
}

}  // namespace orvo
