// Keeps many short texts (node ids) end to end in a few large blocks: no allocation and no
// header per text, and dropping a graph frees a handful of blocks instead of one per id.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace orvo {

class TextArena {
public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    TextArena(TextArena&& other) noexcept;
    TextArena& operator=(TextArena&& other) noexcept;
    ~TextArena() { clear(); }

    /// A copy of text that stays valid, unmoved, until clear().
    std::string_view store(std::string_view text);
    /// Frees every block; views handed out before are invalid afterwards.
    void clear();
    /// Bytes held in blocks (used or not).
    size_t capacityBytes() const { return capacity_; }

private:
    struct Block {
        char* data;
        size_t size;
        bool large;  // from allocateLargeBlock
    };
    void addBlock(size_t atLeast);

    std::vector<Block> blocks_;
    char* next_ = nullptr;  // free space of the last block
    size_t left_ = 0;
    size_t capacity_ = 0;
};

}  // namespace orvo
