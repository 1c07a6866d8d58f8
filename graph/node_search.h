// Finding nodes by part of their id or label: case-insensitive substring match, best matches
// first (exact, then prefix, then substring; shorter ids first). A plain scan over the graph
// gives the reference answer; the index gives the same answer from one contiguous, case-folded
// copy of every id, so a keystroke on a million-node graph costs one memmem pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

class Graph;

/// How well a node's id matches a query; smaller is better.
enum class MatchRank : uint8_t {
    Exact = 0,      // the id or one of its labels equals the query
    Prefix = 1,     // the id or one of its labels starts with the query
    Substring = 2,  // the query lies inside the id
};

struct SearchHit {
    int32_t node = -1;  // index into the graph's nodes
    MatchRank rank = MatchRank::Substring;
    uint32_t length = 0;  // of the id

    /// Better hits first: rank, then shorter ids, then earlier nodes.
    bool operator<(const SearchHit& o) const {
        if (rank != o.rank) return rank < o.rank;
        if (length != o.length) return length < o.length;
        return node < o.node;
    }
    bool operator==(const SearchHit& o) const = default;
};

struct SearchResult {
    std::vector<SearchHit> hits;  // the best `limit` matches, best first
    size_t total = 0;             // how many nodes match in all
};

/// The query as the search compares it: ASCII letters folded to lower case.
std::string foldQuery(std::string_view query);

/// The rank of a case-folded id against a case-folded query, or false when it does not match.
bool rankMatch(std::string_view foldedId, std::string_view foldedQuery, MatchRank& rank);
/// The rank of a case-folded id known to hold the (non-empty) case-folded query.
MatchRank rankOfMatch(std::string_view foldedId, std::string_view foldedQuery);

/// The reference search: every node's id folded and compared in turn.
SearchResult plainSearch(const Graph& graph, std::string_view query, size_t limit);

class NodeSearchIndex {
public:
    /// Forgets everything; the next build steps start from the first node of the graph.
    void clear();
    /// Adds up to `count` more nodes of the graph (the same graph each time, unchanged since
    /// clear()); returns true while nodes remain. Small steps keep the window responsive.
    bool buildSome(const Graph& graph, size_t count);
    bool complete(const Graph& graph) const { return indexed() >= nodeCount(graph); }
    /// Nodes indexed so far (the first ones of the graph's node array).
    size_t indexed() const { return indexed_; }
    /// The same answer as plainSearch: nodes not indexed yet are scanned plainly.
    SearchResult search(const Graph& graph, std::string_view query, size_t limit) const;
    /// Bytes held by the index.
    size_t memoryBytes() const;

private:
    static size_t nodeCount(const Graph& graph);

    // One start offset per block of nodes: the search walks the text in order anyway, so the
    // lines of a block are found with memchr, and the index costs the ids' bytes and little more.
    static constexpr size_t kBlock = 16;

    std::string text_;                   // folded ids, each followed by '\n' (no id holds one)
    std::vector<uint32_t> blockStarts_;  // start in text_ of node k * kBlock's id
    size_t indexed_ = 0;
    bool full_ = false;  // text_ would outgrow 32-bit offsets: the rest is scanned
};

}  // namespace orvo
