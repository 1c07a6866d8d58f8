// Node id -> node index, an open-addressing hash table of indices that compares against the ids
// the nodes already hold, so no id is stored twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orvo {

struct Node;

class NodeIndex {
public:
    void clear();
    /// Index of the node with that id, or -1.
    int32_t find(std::string_view id, const std::vector<Node*>& nodes) const;
    /// Maps id to index (replacing an earlier entry for the same id). nodes[index] must already
    /// hold that id.
    void insert(std::string_view id, int32_t index, const std::vector<Node*>& nodes);
    size_t memoryBytes() const { return slots_.capacity() * sizeof(uint32_t); }

private:
    // A slot is 0 when empty, else index + 1 in the low `indexBits_` bits and the top bits of
    // the id's hash above them: most mismatches are told apart without touching the node.
    uint32_t tagOf(size_t hash) const;
    void grow(const std::vector<Node*>& nodes, size_t minimumSlots);
    std::vector<uint32_t> slots_;
    size_t count_ = 0;
    unsigned indexBits_ = 0;
};

}  // namespace orvo
