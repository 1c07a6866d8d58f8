// Reading a map's name index where the file lies: a query's keys are hashed and their buckets
// read, giving the nodes that may match; the caller checks each against its id and label, so
// that a hash that collides costs time, never a wrong answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class NameIndex {
public:
    /// Takes the section's bytes (kept unchanged by the caller while in use) of a map of
    /// `nodes` nodes: "" or why they cannot serve, the index then unused.
    std::string open(const unsigned char* data, uint64_t size, uint64_t nodes);
    bool isOpen() const { return data_ != nullptr; }
    /// Whether the candidates of the query hold every node that equals it exactly: all but the
    /// query "/", the short part of every folder's id, which the index does not file.
    static bool answersExactly(std::string_view foldedQuery) {
        return !foldedQuery.empty() && foldedQuery != "/";
    }
    /// The nodes that may match the case-folded query, in node order, each once: those filed
    /// under a key it may equal (its own segment, its label or a word of it). Entries the
    /// bounds do not allow are passed over.
    void candidates(std::string_view foldedQuery, std::vector<uint32_t>& nodes) const;
    /// The section's bytes per node.
    double bytesPerNode() const { return nodes_ ? double(size_) / double(nodes_) : 0.0; }

private:
    struct Table {
        const unsigned char* starts = nullptr;
        const unsigned char* entries = nullptr;
        uint32_t buckets = 0;
        uint64_t entryCount = 0;
        /// Entries [first, end) of the key's bucket; false when its starts are out of bounds.
        bool bucketOf(uint64_t hash, uint64_t& first, uint64_t& end) const;
    };

    const unsigned char* data_ = nullptr;
    uint64_t size_ = 0;
    uint64_t nodes_ = 0;
    Table segments_, labels_;
};

}  // namespace orvo
