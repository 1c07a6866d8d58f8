// Finding nodes by part of their id or label: case-insensitive substring match, best matches
// first (exact, then prefix, then substring; shorter ids first). A label is the id's short or
// path part, or the label the file gives the node, which matches as a whole text of its own. A
// plain scan over the graph gives the reference answer; the index gives the same answer from memmem
// passes over the graph's own id text, so a keystroke on a million-node graph costs one pass over
// its ids.
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
    uint32_t length = 0;  // of the id, or of the file's label when that matched better

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
    /// clear(): the index points into its ids); returns true while nodes remain. Small steps
    /// keep the window responsive.
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
    bool inFoldedText(size_t node) const { return (foldedBits_[node / 64] >> (node % 64)) & 1; }

    // The graph keeps its ids end to end, in node order, in a few large blocks: a run of
    // adjacent ids is one text that memmem searches in place, and the index keeps only where
    // each id ends (4 bytes a node instead of a copy of every id). Ids with upper-case letters
    // are searched in a small case-folded copy instead, and their hits in the runs are passed
    // over.
    struct Run {
        const char* text;  // the first byte of the run's first id
        uint32_t firstNode;
        uint32_t length;  // bytes
    };
    std::vector<Run> runs_;
    std::vector<uint32_t> idEnds_;       // by node: where its id ends, as an offset in its run
    std::vector<uint64_t> foldedBits_;   // by node, one bit: searched in foldedText_ instead
    std::string foldedText_;             // those ids case-folded, each followed by '\n'
    std::vector<uint32_t> foldedNodes_;  // by line of foldedText_: its node
    std::string labelText_;              // the nodes' labels case-folded, each followed by '\n'
    std::vector<uint32_t> labelNodes_;   // by line of labelText_: its node
    size_t indexed_ = 0;
};

}  // namespace orvo
