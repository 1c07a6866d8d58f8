// What a node weighs in its graph, for colouring, labelling and listing by it: its depth in the
// tree, its links in and out (tree and non-tree links alike, each linked pair once), the nodes
// of its subtree and its link score.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace orvo {

class Graph;
struct LinkTable;

/// The measures one can colour or order by.
enum class Measure : uint8_t { Depth, LinksIn, LinksOut, Subtree, Score };
constexpr int kMeasureCount = 5;

/// "depth", "in", "out", "subtree", "score": the names the command lines and keys use.
std::string_view measureName(Measure m);
/// The measure of that name, none for any other text.
std::optional<Measure> measureNamed(std::string_view name);
/// Heavy-tailed measures (score, links in, subtree size) are best seen on a log scale.
bool measureIsHeavyTailed(Measure m);

struct NodeMeasures {
    /// Hops from the root, by node index; -1 for a node outside the root's tree.
    std::vector<int32_t> depth;
    std::vector<int32_t> linksIn, linksOut;
    /// Nodes of the subtree, the node itself included.
    std::vector<int32_t> subtree;
    /// Link score (see link_score.h), summing to 1.
    std::vector<double> score;
    int scoreRounds = 0;

    bool empty() const { return score.empty(); }
    size_t size() const { return score.size(); }
    /// Measure m of node i as a number (depth -1 stays -1).
    double value(Measure m, size_t i) const;
};

/// Depth and subtree size of every node of a forest given by each node's parent (-1 for none),
/// into m.depth and m.subtree; depths count from `root` (-1 outside its tree).
void measureTreesOf(std::span<const int32_t> parent, int32_t root, NodeMeasures& m);

/// The trees' measures `m` with the links in and out of `table` and their link scores (worked
/// out as computeNodeMeasures does); empty when `stop` turned true first.
NodeMeasures withLinkScores(NodeMeasures m, LinkTable table, const std::atomic<bool>* stop,
                            int threads);

/// Computes every measure of every node. `stop`, when given and set by another thread, ends the
/// work early with an empty result; `threads` (1 or 2) may share the link score's rounds.
NodeMeasures computeNodeMeasures(const Graph& graph, const std::atomic<bool>* stop = nullptr,
                                 int threads = 1);

/// The same measures but the link score (left empty, for computeLinkScores of the same links), of
/// a graph given as flat arrays where no graph is built: each node's parent (-1 for none; every
/// index in range), the root's index (-1 for none), and each link's ends in link order. A graph
/// with these parents and links in this order measures the same.
NodeMeasures measureTreesAndLinks(std::span<const int32_t> parent, int32_t root,
                                  std::span<const int32_t> from, std::span<const int32_t> to);

}  // namespace orvo
