// Power iteration pulled along each node's links in: a round reads, for every node, the shares
// its linking nodes handed out in the round before, so that a round writes nothing another
// node's sum reads and two threads can share the nodes without locks.
#include "graph/link_score.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

#include "graph/graph.h"

namespace orvo {

namespace {

// Each node's links in, as the indices of the nodes they come from: node v's sources are
// sources[offsets[v]] to sources[offsets[v + 1] - 1].
struct LinksIn {
    std::vector<uint32_t> offsets;
    std::vector<int32_t> sources;
    std::vector<int32_t> outCount;  // links out of each node
};

LinksIn linksInOf(const Graph& graph) {
    const size_t n = graph.nodes.size();
    LinksIn in;
    in.offsets.assign(n + 1, 0);
    in.outCount.assign(n, 0);
    for (const Link* l : graph.links) {
        ++in.offsets[static_cast<size_t>(l->toNode->index) + 1];
        ++in.outCount[static_cast<size_t>(l->fromNode->index)];
    }
    for (size_t v = 0; v < n; ++v) in.offsets[v + 1] += in.offsets[v];
    in.sources.resize(graph.links.size());
    std::vector<uint32_t> next(in.offsets.begin(), in.offsets.end() - 1);
    for (const Link* l : graph.links)
        in.sources[next[static_cast<size_t>(l->toNode->index)]++] = l->fromNode->index;
    return in;
}

// What one share of the nodes gives back from a round.
struct RoundSums {
    double change = 0.0;    // sum of |new - old| over the share
    double danglings = 0.0;  // new score held by its nodes without links out
};

// One round for nodes [first, last): score[v] becomes base + damping * (sum of the shares
// handed to v), and v's own share for the next round goes to nextShare[v].
RoundSums scoreRange(const LinksIn& in, double base, const std::vector<double>& share,
                     std::vector<double>& nextShare, std::vector<double>& score, size_t first,
                     size_t last) {
    RoundSums sums;
    for (size_t v = first; v < last; ++v) {
        double pulled = 0.0;
        for (uint32_t k = in.offsets[v]; k < in.offsets[v + 1]; ++k)
            pulled += share[static_cast<size_t>(in.sources[k])];
        const double value = base + kLinkScoreDamping * pulled;
        sums.change += std::fabs(value - score[v]);
        score[v] = value;
        const int32_t out = in.outCount[v];
        if (out == 0) {
            sums.danglings += value;
            nextShare[v] = 0.0;
        } else {
            nextShare[v] = value / out;
        }
    }
    return sums;
}

// The node where the work of a round is cut in two: about as many nodes plus links in on
// either side.
size_t middleOf(const LinksIn& in) {
    const size_t n = in.outCount.size();
    const uint64_t half = (uint64_t{in.offsets[n]} + n) / 2;
    size_t low = 0, high = n;
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (uint64_t{in.offsets[mid]} + mid < half)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

}  // namespace

LinkScores computeLinkScores(const Graph& graph, const std::atomic<bool>* stop, int threads) {
    LinkScores result;
    const size_t n = graph.nodes.size();
    if (n == 0) return result;
    const auto stopped = [stop] { return stop != nullptr && stop->load(std::memory_order_relaxed); };

    const LinksIn in = linksInOf(graph);
    if (stopped()) return result;
    const double uniform = 1.0 / static_cast<double>(n);
    std::vector<double> score(n, uniform), share(n), nextShare(n);
    double danglings = 0.0;
    for (size_t v = 0; v < n; ++v) {
        if (in.outCount[v] == 0)
            danglings += uniform;
        else
            share[v] = uniform / in.outCount[v];
    }
    // With fixed halves and sums added in a fixed order, one thread or two give the same bits.
    const size_t middle = middleOf(in);
    const bool twoThreads = threads > 1 && n > 4096;

    while (result.rounds < kLinkScoreMaxRounds) {
        if (stopped()) return LinkScores{};
        const double base =
            ((1.0 - kLinkScoreDamping) + kLinkScoreDamping * danglings) * uniform;
        RoundSums low, high;
        std::thread helper;
        if (twoThreads) {
            try {
                helper = std::thread(
                    [&] { high = scoreRange(in, base, share, nextShare, score, middle, n); });
            } catch (const std::system_error&) {
                // No thread to spare: this thread does both halves.
            }
        }
        low = scoreRange(in, base, share, nextShare, score, 0, middle);
        if (helper.joinable())
            helper.join();
        else
            high = scoreRange(in, base, share, nextShare, score, middle, n);
        share.swap(nextShare);
        danglings = low.danglings + high.danglings;
        result.lastChange = low.change + high.change;
        ++result.rounds;
        if (result.lastChange < kLinkScoreTolerance) break;
    }
    double total = 0.0;
    for (const double s : score) total += s;
    if (total > 0.0)
        for (double& s : score) s /= total;
    result.score = std::move(score);
    return result;
}

}  // namespace orvo
