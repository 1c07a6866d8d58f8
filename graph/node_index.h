// Node id -> node index, an open-addressing hash table of indices that compares against the ids
// the nodes already hold, so no id is stored twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "memory/huge_page_allocator.h"

namespace orvo {

struct Node;

class NodeIndex {
public:
    static uint32_t hashOf(std::string_view id);

    void clear();
    /// Makes room for `count` entries in all, so that reaching them needs no rehash.
    void reserve(size_t count);
    /// Index of the node with that id, or -1.
    int32_t find(std::string_view id, const std::vector<Node*>& nodes) const {
        return find(id, hashOf(id), nodes);
    }
    /// The same with the id's hashOf already at hand.
    int32_t find(std::string_view id, uint32_t hash, const std::vector<Node*>& nodes) const;
    /// Maps id to index (replacing an earlier entry for the same id). nodes[index] must already
    /// hold that id.
    void insert(std::string_view id, int32_t index, const std::vector<Node*>& nodes) {
        insert(id, hashOf(id), index, nodes);
    }
    void insert(std::string_view id, uint32_t hash, int32_t index,
                const std::vector<Node*>& nodes);
    /// Hints for lookups to come, each one's loads started by the one before: the id's first
    /// slot, then the candidate entry of `nodes` that slot names, then that node, then the id
    /// bytes it holds and its parent, then the parent's id bytes (a repeated node's parent
    /// decides whether it moves). They change nothing but speed.
    void prefetchSlot(uint32_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    }
    void prefetchEntry(uint32_t hash, const std::vector<Node*>& nodes) const {
        const int32_t index = candidateOf(hash);
        if (index >= 0) __builtin_prefetch(&nodes[index]);
    }
    void prefetchNode(uint32_t hash, const std::vector<Node*>& nodes) const;
    void prefetchNodeId(uint32_t hash, const std::vector<Node*>& nodes) const;
    void prefetchParentId(uint32_t hash, const std::vector<Node*>& nodes) const;
    /// Bulk filling, for nodes that come all at once (a stored graph): each node's hash is noted
    /// in index order on an empty index, then indexNoted makes them all findable in one pass
    /// that works through the table a cache-sized stretch at a time, where inserting them one
    /// by one would miss the cache at every node.
    void note(int32_t index, uint32_t hash) {
        if (static_cast<size_t>(index) >= hashes_.size())
            hashes_.resize(static_cast<size_t>(index) + 1);
        hashes_[index] = hash;
    }
    /// -1, or the first index whose id an earlier node has (the index must then be cleared).
    int32_t indexNoted(const std::vector<Node*>& nodes);
    size_t memoryBytes() const {
        return slots_.capacity() * sizeof(uint32_t) + hashes_.capacity() * sizeof(uint32_t);
    }

private:
    // A slot is 0 when empty, else index + 1 in its low `indexBits_` bits (log2 of the slot
    // count) and the id's hash above them. The hash's low bits choose the slot, so the slot and
    // the stored bits together hold the whole hash: most mismatches are told apart without
    // touching a node, and growing needs only the hashes kept per node.
    void grow(size_t minimumSlots);
    /// Walks the hash's probe path: the first index whose stored hash bits match and that
    /// `accept` takes, or -1 at the first empty slot.
    template <typename Accept>
    int32_t probe(uint32_t hash, Accept accept) const;
    /// The index in the first slot whose stored hash bits match, or -1.
    int32_t candidateOf(uint32_t hash) const;
    std::vector<uint32_t, HugePageAllocator<uint32_t>> slots_;
    std::vector<uint32_t, HugePageAllocator<uint32_t>> hashes_;  // by node index
    size_t count_ = 0;
    unsigned indexBits_ = 0;
};

}  // namespace orvo
