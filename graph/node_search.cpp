// Node search: the ranking, the reference scan and the index over the graph's id text.
#include "graph/node_search.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <queue>

#include "graph/graph.h"

namespace orvo {

namespace {

inline char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

/// Keeps the best `limit` hits seen and counts them all.
class TopHits {
public:
    explicit TopHits(size_t limit) : limit_(limit) {}

    void offer(const SearchHit& hit) {
        ++total_;
        if (limit_ == 0) return;
        if (heap_.size() < limit_) {
            heap_.push(hit);
        } else if (hit < heap_.top()) {
            heap_.pop();
            heap_.push(hit);
        }
    }

    /// Counts a hit that is known not to be among the best kept.
    void countOnly() { ++total_; }
    /// The worst hit kept once `limit` are kept (any new hit must beat it), else null.
    const SearchHit* worstWhenFull() const {
        return limit_ > 0 && heap_.size() == limit_ ? &heap_.top() : nullptr;
    }

    SearchResult take() {
        SearchResult result;
        result.total = total_;
        result.hits.reserve(heap_.size());
        while (!heap_.empty()) {
            result.hits.push_back(heap_.top());
            heap_.pop();
        }
        std::reverse(result.hits.begin(), result.hits.end());
        return result;
    }

private:
    size_t limit_;
    size_t total_ = 0;
    std::priority_queue<SearchHit> heap_;  // worst kept hit on top
};

/// The rank of a case-folded label against the query, or false when it does not match. A label
/// stands whole: it matches exactly, as a prefix or as a substring.
bool rankLabel(std::string_view label, std::string_view q, MatchRank& rank) {
    if (q.empty() || label.find(q) == std::string_view::npos) return false;
    rank = label == q             ? MatchRank::Exact
           : startsWith(label, q) ? MatchRank::Prefix
                                  : MatchRank::Substring;
    return true;
}

/// A node's hit: the better of what its id and its label give (on equal ranks the shorter).
SearchHit betterHit(const SearchHit& a, const SearchHit& b) {
    if (a.rank != b.rank) return a.rank < b.rank ? a : b;
    return a.length <= b.length ? a : b;
}

/// Calls take(line, its text) for each line of `text` (lines end in '\n') that holds `q`, which
/// holds no '\n', in order and each line once; stops when take returns false.
template <typename Take>
void forEachLineHolding(std::string_view text, std::string_view q, Take&& take) {
    size_t pos = 0, line = 0, lineStart = 0;
    while (pos < text.size()) {
        const void* found = ::memmem(text.data() + pos, text.size() - pos, q.data(), q.size());
        if (found == nullptr) return;
        const size_t at = static_cast<const char*>(found) - text.data();
        // The hit lies inside one line: the first that ends past it.
        size_t lineEnd;
        for (;;) {
            const void* end = std::memchr(text.data() + lineStart, '\n', text.size() - lineStart);
            lineEnd = end == nullptr ? text.size() : static_cast<const char*>(end) - text.data();
            if (lineEnd > at) break;
            lineStart = lineEnd + 1;
            ++line;
        }
        if (!take(line, text.substr(lineStart, lineEnd - lineStart))) return;
        pos = lineStart = lineEnd + 1;
        ++line;
    }
}

// What the search reads of the nodes: their ids and labels, from a graph or from spans of id
// text. An empty id (a node the graph lacks) matches nothing.
struct GraphTexts {
    const Graph& graph;
    size_t count() const { return graph.nodes.size(); }
    std::string_view id(size_t i) const {
        const Node* n = graph.nodes[i];
        return n != nullptr ? std::string_view(n->id) : std::string_view();
    }
    std::string_view label(size_t i) const {
        const Node* n = graph.nodes[i];
        return n != nullptr ? graph.labelOf(*n) : std::string_view();
    }
    bool hasLabels() const { return graph.hasLabels(); }
};

struct SpanTexts {
    const IdTextSpans& ids;
    size_t count() const { return ids.nodes; }
    std::string_view id(size_t i) const { return ids.idOf(i); }
    std::string_view label(size_t i) const { return ids.labelOf(i); }
    bool hasLabels() const { return !ids.labels.empty(); }
};

/// Node i's hit, when it matches: the better of its id's and its label's. `folded` is scratch.
template <typename Texts>
std::optional<SearchHit> nodeHit(const Texts& texts, size_t i, std::string_view q,
                                 std::string& folded) {
    const std::string_view id = texts.id(i);
    folded.assign(id);
    for (char& c : folded) c = fold(c);
    MatchRank rank;
    std::optional<SearchHit> hit;
    if (rankMatch(folded, q, rank))
        hit = SearchHit{static_cast<int32_t>(i), rank, static_cast<uint32_t>(id.size())};
    if (const std::string_view label = texts.label(i); !label.empty()) {
        folded.assign(label);
        for (char& c : folded) c = fold(c);
        if (rankLabel(folded, q, rank)) {
            const SearchHit byLabel{static_cast<int32_t>(i), rank,
                                    static_cast<uint32_t>(label.size())};
            hit = hit ? betterHit(*hit, byLabel) : byLabel;
        }
    }
    return hit;
}

/// Plain scan of nodes [first, end) into hits.
template <typename Texts>
void scanNodes(const Texts& texts, size_t first, std::string_view q, TopHits& hits) {
    std::string folded;
    for (size_t i = first; i < texts.count(); ++i)
        if (const std::optional<SearchHit> hit = nodeHit(texts, i, q, folded)) hits.offer(*hit);
}

/// True when a hit on `id`, later in node order than every kept hit, cannot beat `worst`
/// whatever its rank. Every label is a suffix of the id, so an exact match ends the id with the
/// query; a longer id can only beat an exact or prefix hit by being exact.
bool cannotEnter(const SearchHit* worst, std::string_view id, std::string_view q) {
    if (worst == nullptr || id.size() < worst->length) return false;
    if (worst->rank == MatchRank::Exact) return true;
    return worst->rank == MatchRank::Prefix && !id.ends_with(q);
}

/// One memmem pass over a run of ids end to end, nodes [firstNode, done) of it: `endOf(node)`
/// is where the node's id ends, counted from `text` like `firstStart`, where the first starts.
/// The node of a hit is the first whose end lies past the hit's start; after a hit the search
/// resumes at the next id, so each node counts once. A hit that runs on into the next id is no
/// match, and nor is any later start in the same id, so that id is passed over too. Ids that
/// `folded` names are searched in their folded copies instead; `offer` takes each hit that may
/// enter the best kept (the node's label hit made part of it) and `hasLabelHit` tells the nodes
/// whose label matched.
template <typename EndOf, typename Folded, typename HasLabelHit, typename Offer>
void passRun(const char* text, size_t firstStart, size_t length, size_t firstNode, size_t done,
             std::string_view q, TopHits& hits, EndOf&& endOf, Folded&& folded,
             HasLabelHit&& hasLabelHit, Offer&& offer) {
    size_t node = firstNode;
    size_t idStart = firstStart;
    size_t pos = firstStart;
    while (pos < length) {
        const void* found = ::memmem(text + pos, length - pos, q.data(), q.size());
        if (found == nullptr) break;
        const size_t at = static_cast<const char*>(found) - text;
        while (endOf(node) <= at) idStart = endOf(node++);
        if (node >= done) break;
        const size_t idEnd = endOf(node);
        pos = idEnd;
        if (at + q.size() > idEnd || folded(node)) continue;
        // memmem found the query inside this id: only its rank is left to tell, and not even
        // that when the hit cannot enter the best kept (a common letter matches nearly every id).
        const std::string_view id(text + idStart, idEnd - idStart);
        if (!hasLabelHit(node) && cannotEnter(hits.worstWhenFull(), id, q)) {
            hits.countOnly();
        } else {
            offer(SearchHit{static_cast<int32_t>(node), rankOfMatch(id, q),
                            static_cast<uint32_t>(id.size())});
        }
    }
}

}  // namespace

std::string foldQuery(std::string_view query) {
    std::string q(query);
    for (char& c : q) c = fold(c);
    return q;
}

// The labels are parts of the id, so every label match is also an id match; the labels only
// lift a match to exact or prefix (typing "about.html" finds ".../about.html" first).
bool rankMatch(std::string_view id, std::string_view q, MatchRank& rank) {
    if (q.empty() || id.find(q) == std::string_view::npos) return false;
    rank = rankOfMatch(id, q);
    return true;
}

MatchRank rankOfMatch(std::string_view id, std::string_view q) {
    MatchRank rank;
    const std::string_view path = pathLabelOf(id);
    const std::string_view shortLabel = shortLabelOfPath(path);
    std::string_view bare = shortLabel;  // the last component without its '/'
    if (bare.size() > 1 && bare.front() == '/') bare.remove_prefix(1);
    if (id == q || path == q || shortLabel == q || bare == q) {
        rank = MatchRank::Exact;
    } else if (startsWith(id, q) || startsWith(path, q) || startsWith(shortLabel, q) ||
               startsWith(bare, q)) {
        rank = MatchRank::Prefix;
    } else {
        rank = MatchRank::Substring;
    }
    return rank;
}

SearchResult plainSearch(const Graph& graph, std::string_view query, size_t limit) {
    TopHits hits(limit);
    const std::string q = foldQuery(query);
    if (!q.empty()) scanNodes(GraphTexts{graph}, 0, q, hits);
    return hits.take();
}

SearchResult plainSearch(const IdTextSpans& ids, std::string_view query, size_t limit) {
    TopHits hits(limit);
    const std::string q = foldQuery(query);
    if (!q.empty()) scanNodes(SpanTexts{ids}, 0, q, hits);
    return hits.take();
}

SearchResult searchAmong(const IdTextSpans& ids, const std::vector<uint32_t>& nodes,
                         std::string_view query, size_t limit, size_t* exact) {
    TopHits hits(limit);
    const std::string q = foldQuery(query);
    std::string folded;
    size_t exactHits = 0;
    if (!q.empty()) {
        // No hit of a node is better than an exact one as long as the shorter of its id and its
        // label: nodes are taken in that order, lengths read from the id starts alone.
        std::vector<uint64_t> order;
        order.reserve(nodes.size());
        for (const uint32_t node : nodes) {
            if (node >= ids.nodes) continue;
            const uint64_t begin = ids.start(node), end = ids.start(node + 1);
            uint64_t shortest = begin < end && end <= ids.text.size() ? end - begin : 0;
            if (const std::string_view label = ids.labelOf(node); !label.empty())
                shortest = std::min<uint64_t>(shortest, label.size());
            shortest = std::min<uint64_t>(shortest, std::numeric_limits<uint32_t>::max());
            order.push_back(shortest << 32 | node);
        }
        const auto later = std::greater<uint64_t>();
        std::make_heap(order.begin(), order.end(), later);
        while (!order.empty()) {
            const uint64_t next = order.front();
            const auto node = static_cast<uint32_t>(next);
            if (const SearchHit* worst = hits.worstWhenFull();
                worst != nullptr && *worst < SearchHit{static_cast<int32_t>(node), MatchRank::Exact,
                                                       static_cast<uint32_t>(next >> 32)})
                break;
            std::pop_heap(order.begin(), order.end(), later);
            order.pop_back();
            if (const std::optional<SearchHit> hit = nodeHit(SpanTexts{ids}, node, q, folded)) {
                hits.offer(*hit);
                exactHits += hit->rank == MatchRank::Exact;
            }
        }
    }
    if (exact != nullptr) *exact = exactHits;
    return hits.take();
}

uint64_t IdTextSpans::start(size_t i) const {
    uint64_t at;
    std::memcpy(&at, starts + i * sizeof at, sizeof at);  // little-endian, as every host here
    return at;
}

std::string_view IdTextSpans::idOf(size_t i) const {
    if (i >= nodes) return {};
    const uint64_t begin = start(i), end = start(i + 1);
    if (begin >= end || end > text.size()) return {};
    return text.substr(begin, end - begin);
}

std::string_view IdTextSpans::labelOf(size_t i) const {
    const auto at = std::lower_bound(
        labels.begin(), labels.end(), i,
        [](const std::pair<uint32_t, std::string_view>& l, size_t node) { return l.first < node; });
    return at != labels.end() && at->first == i ? at->second : std::string_view();
}

size_t NodeSearchIndex::nodeCount(const Graph& graph) { return graph.nodes.size(); }

void NodeSearchIndex::clear() {
    std::vector<Run>().swap(runs_);
    std::vector<uint32_t>().swap(idEnds_);
    std::vector<uint64_t>().swap(foldedBits_);
    std::string().swap(foldedText_);
    std::vector<uint32_t>().swap(foldedNodes_);
    std::string().swap(labelText_);
    std::vector<uint32_t>().swap(labelNodes_);
    indexed_ = 0;
    stopped_ = false;
}

template <typename Texts>
void NodeSearchIndex::addFoldedAndLabels(const Texts& texts, size_t end) {
    if (indexed_ == 0) foldedBits_.assign(texts.count() / 64 + 1, 0);
    for (size_t i = indexed_; i < end; ++i) {
        const std::string_view id = texts.id(i);
        if (std::any_of(id.begin(), id.end(), [](char c) { return fold(c) != c; })) {
            foldedBits_[i / 64] |= uint64_t{1} << (i % 64);
            foldedNodes_.push_back(static_cast<uint32_t>(i));
            for (char c : id) foldedText_.push_back(fold(c));
            foldedText_.push_back('\n');
        }
    }
    if (texts.hasLabels()) {
        for (size_t k = indexed_; k < end; ++k) {
            const std::string_view label = texts.label(k);
            if (label.empty()) continue;  // a label holds no line end (see NodeLabels::set)
            for (char c : label) labelText_.push_back(fold(c));
            labelText_.push_back('\n');
            labelNodes_.push_back(static_cast<uint32_t>(k));
        }
    }
    indexed_ = end;
    if (end < texts.count()) return;
    foldedText_.shrink_to_fit();
    foldedNodes_.shrink_to_fit();
    labelText_.shrink_to_fit();
    labelNodes_.shrink_to_fit();
}

bool NodeSearchIndex::buildSome(const Graph& graph, size_t count) {
    const size_t n = std::min<size_t>(nodeCount(graph), std::numeric_limits<uint32_t>::max());
    if (indexed_ == 0) idEnds_.reserve(n);
    const size_t end = std::min(n, indexed_ + count);
    for (size_t i = indexed_; i < end; ++i) {
        const Node* node = graph.nodes[i];
        const std::string_view id = node != nullptr ? std::string_view(node->id) : "";
        // An id continues the run when it starts where the run ends (an empty one always does).
        const bool continues =
            !runs_.empty() &&
            (id.empty() || id.data() == runs_.back().text + runs_.back().length) &&
            id.size() <= std::numeric_limits<uint32_t>::max() - runs_.back().length;
        if (!continues) runs_.push_back({id.data(), static_cast<uint32_t>(i), 0});
        runs_.back().length += static_cast<uint32_t>(id.size());
        idEnds_.push_back(runs_.back().length);
    }
    addFoldedAndLabels(GraphTexts{graph}, end);
    return end < n;
}

// The spans' starts are read where they lie; a step only checks that they are in order and
// within the text, which the search's pass relies on, and that no id holds a line end, which
// would break the folded copies into the wrong lines (a graph's ids never do).
bool NodeSearchIndex::buildSome(const IdTextSpans& ids, size_t count) {
    if (stopped_) return false;
    size_t end = std::min<size_t>(ids.nodes, indexed_ + count);
    for (size_t i = indexed_; i < end; ++i) {
        if (ids.start(i) > ids.start(i + 1) || ids.start(i + 1) > ids.text.size() ||
            ids.idOf(i).find('\n') != std::string_view::npos) {
            stopped_ = true;
            end = i;
        }
    }
    addFoldedAndLabels(SpanTexts{ids}, end);
    return !complete(ids);
}

template <typename Texts, typename PassRuns>
SearchResult NodeSearchIndex::searchWith(const Texts& texts, std::string_view query, size_t limit,
                                         PassRuns&& passRuns) const {
    TopHits hits(limit);
    const std::string q = foldQuery(query);
    if (q.empty()) return hits.take();
    const size_t done = std::min(indexed(), texts.count());
    if (q.find('\n') != std::string::npos) {
        scanNodes(texts, 0, q, hits);  // no id holds a line end: the scan finds nothing either
        return hits.take();
    }

    // The labels first: a node that matches by its id too gets the better of the two hits when
    // the passes below reach it, and one that matches by its label alone gets its hit at the end.
    std::vector<SearchHit> labelHits;  // in node order
    forEachLineHolding(labelText_, q, [&](size_t line, std::string_view label) {
        const size_t node = labelNodes_[line];
        MatchRank rank;
        if (node < done && rankLabel(label, q, rank))
            labelHits.push_back(
                {static_cast<int32_t>(node), rank, static_cast<uint32_t>(label.size())});
        return true;
    });
    std::vector<uint8_t> labelHitTaken(labelHits.size(), 0);
    // The node's hit by its id, made the better of it and its label's hit.
    const auto withLabelHit = [&](SearchHit hit) {
        const auto at =
            std::lower_bound(labelHits.begin(), labelHits.end(), hit.node,
                             [](const SearchHit& h, int32_t node) { return h.node < node; });
        if (at == labelHits.end() || at->node != hit.node) return hit;
        labelHitTaken[static_cast<size_t>(at - labelHits.begin())] = 1;
        return betterHit(hit, *at);
    };
    const auto hasLabelHit = [&](size_t node) {
        return std::binary_search(
            labelHits.begin(), labelHits.end(),
            SearchHit{static_cast<int32_t>(node), MatchRank::Exact, 0},
            [](const SearchHit& a, const SearchHit& b) { return a.node < b.node; });
    };
    const auto folded = [this](size_t node) { return inFoldedText(node); };
    const auto offer = [&](const SearchHit& hit) { hits.offer(withLabelHit(hit)); };
    passRuns(q, done, hits, folded, hasLabelHit, offer);

    // The folded copies, line by line; their nodes come out of node order with the runs', so
    // every hit is offered.
    forEachLineHolding(foldedText_, q, [&](size_t line, std::string_view id) {
        if (line >= foldedNodes_.size()) return false;  // only an id holding a line end gets here
        const size_t node = foldedNodes_[line];
        if (node < done) {
            hits.offer(withLabelHit({static_cast<int32_t>(node), rankOfMatch(id, q),
                                     static_cast<uint32_t>(id.size())}));
        }
        return true;
    });
    for (size_t k = 0; k < labelHits.size(); ++k) {
        if (!labelHitTaken[k]) hits.offer(labelHits[k]);
    }
    scanNodes(texts, done, q, hits);
    return hits.take();
}

// The graph's runs, in node order, each with the ends the index keeps.
SearchResult NodeSearchIndex::search(const Graph& graph, std::string_view query,
                                     size_t limit) const {
    return searchWith(GraphTexts{graph}, query, limit,
                      [&](std::string_view q, size_t done, TopHits& hits, const auto& folded,
                          const auto& hasLabelHit, const auto& offer) {
                          for (const Run& run : runs_) {
                              if (run.firstNode >= done) break;
                              passRun(run.text, 0, run.length, run.firstNode, done, q, hits,
                                      [&](size_t node) { return size_t{idEnds_[node]}; },
                                      folded, hasLabelHit, offer);
                          }
                      });
}

// The spans' text up to the end of the last node indexed is one run, with the spans' own starts.
SearchResult NodeSearchIndex::search(const IdTextSpans& ids, std::string_view query,
                                     size_t limit) const {
    return searchWith(SpanTexts{ids}, query, limit,
                      [&](std::string_view q, size_t done, TopHits& hits, const auto& folded,
                          const auto& hasLabelHit, const auto& offer) {
                          if (done == 0) return;
                          passRun(ids.text.data(), ids.start(0), ids.start(done), 0, done, q,
                                  hits, [&](size_t node) { return ids.start(node + 1); }, folded,
                                  hasLabelHit, offer);
                      });
}

size_t NodeSearchIndex::memoryBytes() const {
    return runs_.capacity() * sizeof(Run) + idEnds_.capacity() * sizeof(uint32_t) +
           foldedBits_.capacity() * sizeof(uint64_t) + foldedText_.capacity() +
           foldedNodes_.capacity() * sizeof(uint32_t) + labelText_.capacity() +
           labelNodes_.capacity() * sizeof(uint32_t);
}

}  // namespace orvo
