// The link score of every node: a PageRank over all of a graph's links in their direction, so
// that a page many well-linked pages link to scores high. Damping 0.85; the score of a node
// without links out is spread evenly over all nodes; rounds go on until the scores moved by less
// than 1e-10 in all (at most 200 rounds), and the result is scaled to sum to 1.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "memory/huge_page_allocator.h"

namespace orvo {

class Graph;

/// The big scratch arrays of the measures: huge pages fault once per 2 MiB instead of once per
/// 4 KiB, and the rounds' scattered reads miss the TLB far less often.
template <typename T>
using ScratchArray = std::vector<T, HugePageAllocator<T>>;

/// A graph's links as flat arrays of node indices, read from its nodes once: each node's links
/// in and out counted, and the nodes its links in come from. The rounds of the link score then
/// walk memory in order instead of following a pointer per link.
struct LinkTable {
    std::vector<int32_t> linksIn, linksOut;  // by node index
    /// Node v's links in come from sources[inStart[v]] to sources[inStart[v + 1] - 1].
    ScratchArray<uint32_t> inStart;
    ScratchArray<int32_t> sources;

    size_t nodeCount() const { return linksIn.size(); }
};

/// Builds the table of `graph`'s links; `threads` (1 or 2) may share the reading.
LinkTable linkTableOf(const Graph& graph, int threads = 1);
/// The table of `nodes` nodes and links given by their ends (node indices in range), in link
/// order, as linkTableOf makes it for a graph with these links.
LinkTable linkTableOfEnds(size_t nodes, std::span<const int32_t> from,
                          std::span<const int32_t> to, int threads = 1);

struct LinkScores {
    std::vector<double> score;  // by node index; empty for an empty graph or a stopped run
    int rounds = 0;             // power-iteration rounds taken
    double lastChange = 0.0;    // sum of absolute changes in the last round
};

constexpr double kLinkScoreDamping = 0.85;
constexpr double kLinkScoreTolerance = 1e-10;
constexpr int kLinkScoreMaxRounds = 200;

/// Computes the scores. `stop`, when given and set (by another thread), ends the work early with
/// an empty result. `threads` is how many threads may share each round (1 or 2).
LinkScores computeLinkScores(const LinkTable& table, const std::atomic<bool>* stop = nullptr,
                             int threads = 1);
LinkScores computeLinkScores(const Graph& graph, const std::atomic<bool>* stop = nullptr,
                             int threads = 1);

}  // namespace orvo
