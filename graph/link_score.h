// The link score of every node: a PageRank over all of a graph's links in their direction, so
// that a page many well-linked pages link to scores high. Damping 0.85; the score of a node
// without links out is spread evenly over all nodes; rounds go on until the scores moved by less
// than 1e-10 in all (at most 200 rounds), and the result is scaled to sum to 1.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace orvo {

class Graph;

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
LinkScores computeLinkScores(const Graph& graph, const std::atomic<bool>* stop = nullptr,
                             int threads = 1);

}  // namespace orvo
