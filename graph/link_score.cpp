// Power iteration pulled along each node's links in: a round reads, for every node, the shares
// its linking nodes handed out in the round before, so that a round writes nothing another
// node's sum reads and two threads can share the nodes without locks.
#include "graph/link_score.h"

#include <algorithm>
#include <cmath>

#include "graph/graph.h"
#include "graph/side_by_side.h"

namespace orvo {

namespace {

// Below this many nodes or links a second thread costs more than it saves.
constexpr size_t kTwoThreadsFrom = 4096;

// How far ahead of the link being read its node is asked for, so that the reads of several
// scattered nodes overlap.
constexpr size_t kLookAhead = 16;

// Each link's end nodes, by link index, in [first, last).
void readLinkEnds(const Graph& graph, ScratchArray<int32_t>& from, ScratchArray<int32_t>& to,
                  size_t first, size_t last) {
    const size_t count = graph.links.size();
    for (size_t k = first; k < last; ++k) {
        if (k + kLookAhead < count) {
            const Link* ahead = graph.links[k + kLookAhead];
            __builtin_prefetch(&ahead->fromNode->index);
            __builtin_prefetch(&ahead->toNode->index);
        }
        const Link* l = graph.links[k];
        from[k] = l->fromNode->index;
        to[k] = l->toNode->index;
    }
}

// What one share of the nodes gives back from a round.
struct RoundSums {
    double change = 0.0;     // sum of |new - old| over the share
    double danglings = 0.0;  // new score held by its nodes without links out
};

// One round for nodes [first, last): v's score becomes base + damping * (sum of the shares
// handed to v), and goes to nextShare[v] divided among v's links out. A node without links out
// hands nothing on, and no node's sum reads its share: its slot holds its whole score instead.
// Each node's score is thus held in one array, not two, which the rounds would have to stream.
RoundSums scoreRange(const LinkTable& table, double base, const ScratchArray<double>& share,
                     ScratchArray<double>& nextShare, size_t first, size_t last) {
    RoundSums sums;
    const uint32_t* start = table.inStart.data();
    const int32_t* sources = table.sources.data();
    const uint32_t lastLink = start[last];
    for (size_t v = first; v < last; ++v) {
        double pulled = 0.0;
        for (uint32_t k = start[v]; k < start[v + 1]; ++k) {
            if (k + kLookAhead < lastLink)
                __builtin_prefetch(&share[static_cast<size_t>(sources[k + kLookAhead])]);
            pulled += share[static_cast<size_t>(sources[k])];
        }
        const double value = base + kLinkScoreDamping * pulled;
        const int32_t out = table.linksOut[v];
        if (out == 0) {
            sums.change += std::fabs(value - share[v]);
            sums.danglings += value;
            nextShare[v] = value;
        } else {
            sums.change += std::fabs(value - share[v] * out);
            nextShare[v] = value / out;
        }
    }
    return sums;
}

// The node where the work of a round is cut in two: about as many nodes plus links in on
// either side.
size_t middleOf(const LinkTable& table) {
    const size_t n = table.nodeCount();
    const uint64_t half = (uint64_t{table.inStart[n]} + n) / 2;
    size_t low = 0, high = n;
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (uint64_t{table.inStart[mid]} + mid < half)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

}  // namespace

LinkTable linkTableOf(const Graph& graph, int threads) {
    const size_t links = graph.links.size();
    const bool twoThreads = threads > 1 && links >= kTwoThreadsFrom;
    // The pointers are followed once, into two arrays that every later pass reads in order.
    ScratchArray<int32_t> from(links), to(links);
    runSideBySide(
        twoThreads, [&] { readLinkEnds(graph, from, to, 0, links / 2); },
        [&] { readLinkEnds(graph, from, to, links / 2, links); });
    return linkTableOfEnds(graph.nodes.size(), from, to, threads);
}

LinkTable linkTableOfEnds(size_t n, std::span<const int32_t> from, std::span<const int32_t> to,
                          int threads) {
    LinkTable table;
    const size_t links = std::min(from.size(), to.size());
    table.linksIn.assign(n, 0);
    table.linksOut.assign(n, 0);
    table.inStart.assign(n + 1, 0);
    table.sources.resize(links);
    const bool twoThreads = threads > 1 && links >= kTwoThreadsFrom;
    runSideBySide(
        twoThreads,
        [&] {
            for (size_t k = 0; k < links; ++k) ++table.linksIn[static_cast<size_t>(to[k])];
        },
        [&] {
            for (size_t k = 0; k < links; ++k) ++table.linksOut[static_cast<size_t>(from[k])];
        });
    // inStart[v] first counts up to where v's sources end; placing the links from the last back
    // moves it to where they begin, and keeps each node's sources in the order of the links.
    uint32_t end = 0;
    for (size_t v = 0; v < n; ++v) table.inStart[v] = end += uint32_t(table.linksIn[v]);
    table.inStart[n] = end;
    for (size_t k = links; k-- > 0;)
        table.sources[--table.inStart[static_cast<size_t>(to[k])]] = from[k];
    return table;
}

LinkScores computeLinkScores(const Graph& graph, const std::atomic<bool>* stop, int threads) {
    if (graph.nodes.empty()) return LinkScores{};
    return computeLinkScores(linkTableOf(graph, threads), stop, threads);
}

LinkScores computeLinkScores(const LinkTable& table, const std::atomic<bool>* stop, int threads) {
    LinkScores result;
    const size_t n = table.nodeCount();
    if (n == 0) return result;
    const auto stopped = [stop] {
        return stop != nullptr && stop->load(std::memory_order_relaxed);
    };

    const double uniform = 1.0 / static_cast<double>(n);
    ScratchArray<double> share(n), nextShare(n);
    double danglings = 0.0;
    for (size_t v = 0; v < n; ++v) {
        const int32_t out = table.linksOut[v];
        if (out == 0) {
            danglings += uniform;
            share[v] = uniform;
        } else {
            share[v] = uniform / out;
        }
    }
    // With fixed halves and sums added in a fixed order, one thread or two give the same bits.
    const size_t middle = middleOf(table);
    const bool twoThreads = threads > 1 && n >= kTwoThreadsFrom;

    while (result.rounds < kLinkScoreMaxRounds) {
        if (stopped()) return LinkScores{};
        const double base = ((1.0 - kLinkScoreDamping) + kLinkScoreDamping * danglings) * uniform;
        RoundSums low, high;
        runSideBySide(
            twoThreads, [&] { low = scoreRange(table, base, share, nextShare, 0, middle); },
            [&] { high = scoreRange(table, base, share, nextShare, middle, n); });
        share.swap(nextShare);
        danglings = low.danglings + high.danglings;
        result.lastChange = low.change + high.change;
        ++result.rounds;
        if (result.lastChange < kLinkScoreTolerance) break;
    }
    // The other round's array goes before the scores take their room: at a hundred million
    // nodes it is 800 MB of the peak.
    ScratchArray<double>().swap(nextShare);
    std::vector<double> score(n);
    double total = 0.0;
    for (size_t v = 0; v < n; ++v) {
        const int32_t out = table.linksOut[v];
        score[v] = out == 0 ? share[v] : share[v] * out;
        total += score[v];
    }
    if (total > 0.0)
        for (double& s : score) s /= total;
    result.score = std::move(score);
    return result;
}

}  // namespace orvo
