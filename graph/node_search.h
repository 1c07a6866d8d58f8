// Finding nodes by part of their id or label: case-insensitive substring match, best matches
// first (exact, then prefix, then substring; shorter ids first). A label is the id's short or
// path part, or the label the file gives the node, which matches as a whole text of its own. A
// plain scan over the graph gives the reference answer; the index gives the same answer from memmem
// passes over the graph's own id text, so a keystroke on a million-node graph costs one pass over
// its ids. The same index searches ids kept end to end outside any graph (a map file's, mapped),
// in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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
    int32_t node = -1;  // index of the node searched: into the graph's nodes, or the IdTextSpans'
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
    /// The hits are the best, but not every node was looked at: at least `total` match.
    bool totalAtLeast = false;
};

/// The query as the search compares it: ASCII letters folded to lower case.
std::string foldQuery(std::string_view query);

/// The rank of a case-folded id against a case-folded query, or false when it does not match.
bool rankMatch(std::string_view foldedId, std::string_view foldedQuery, MatchRank& rank);
/// The rank of a case-folded id known to hold the (non-empty) case-folded query.
MatchRank rankOfMatch(std::string_view foldedId, std::string_view foldedQuery);

/// Ids kept end to end in node order with where each starts, as a map file keeps them, and the
/// nodes' labels: what the index searches in place when the nodes are not in a graph.
struct IdTextSpans {
    std::string_view text;                  // every id, end to end
    const unsigned char* starts = nullptr;  // nodes + 1 little-endian u64: node i's id is
                                            // text[starts[i], starts[i + 1])
    uint32_t nodes = 0;
    /// The labelled nodes, in node order and each once, with their labels (no line ends).
    std::vector<std::pair<uint32_t, std::string_view>> labels;

    /// Where node i's id starts in the text (i == nodes: where the last one ends).
    uint64_t start(size_t i) const;
    /// Node i's id; "" when its starts are out of order or past the text.
    std::string_view idOf(size_t i) const;
    /// Node i's label; "" when it has none.
    std::string_view labelOf(size_t i) const;
};

/// The reference search: every node's id folded and compared in turn.
SearchResult plainSearch(const Graph& graph, std::string_view query, size_t limit);
SearchResult plainSearch(const IdTextSpans& ids, std::string_view query, size_t limit);

/// plainSearch's best `limit` hits among these nodes only (each once). The nodes are looked at
/// shortest id or label first, and the search ends once no node left could enter the best kept,
/// so a name that thousands of nodes share costs about `limit` looks. `total` counts the hits
/// among the nodes looked at (all of them when the best are not all exact) and `exact`, when
/// given, gets how many of those are exact.
SearchResult searchAmong(const IdTextSpans& ids, const std::vector<uint32_t>& nodes,
                         std::string_view query, size_t limit, size_t* exact = nullptr);

class NodeSearchIndex {
public:
    /// Forgets everything; the next build steps start from the first node of the graph.
    void clear();
    /// Adds up to `count` more nodes of the graph (the same graph each time, unchanged since
    /// clear(): the index points into its ids); returns true while nodes remain. Small steps
    /// keep the window responsive.
    bool buildSome(const Graph& graph, size_t count);
    /// The same over ids kept end to end (the same spans each time): nothing of the ids is
    /// copied but those with upper-case letters, case-folded, and the labels. The steps stop
    /// at a node whose id starts out of order or holds a line end, the rest being scanned
    /// plainly.
    bool buildSome(const IdTextSpans& ids, size_t count);
    bool complete(const Graph& graph) const { return indexed() >= nodeCount(graph); }
    bool complete(const IdTextSpans& ids) const { return stopped_ || indexed() >= ids.nodes; }
    /// Nodes indexed so far (the first ones of the graph's node array).
    size_t indexed() const { return indexed_; }
    /// The same answer as plainSearch: nodes not indexed yet are scanned plainly.
    SearchResult search(const Graph& graph, std::string_view query, size_t limit) const;
    SearchResult search(const IdTextSpans& ids, std::string_view query, size_t limit) const;
    /// Bytes held by the index.
    size_t memoryBytes() const;

private:
    static size_t nodeCount(const Graph& graph);
    bool inFoldedText(size_t node) const { return (foldedBits_[node / 64] >> (node % 64)) & 1; }
    /// Folds the ids with upper-case letters and the labels of nodes [indexed_, end) into the
    /// index; `texts` gives them (see node_search.cpp).
    template <typename Texts>
    void addFoldedAndLabels(const Texts& texts, size_t end);
    /// The search of what is indexed of `texts`, the id text passed by `passRuns`, then a plain
    /// scan of the rest.
    template <typename Texts, typename PassRuns>
    SearchResult searchWith(const Texts& texts, std::string_view query, size_t limit,
                            PassRuns&& passRuns) const;

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
    bool stopped_ = false;  // spans whose ids start out of order past indexed_
};

}  // namespace orvo
