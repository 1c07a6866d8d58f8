// Node search: the ranking, the reference scan and the contiguous index.
#include "graph/node_search.h"

#include <algorithm>
#include <cstring>
#include <limits>
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

/// Plain scan of nodes [first, end) into hits.
void scanNodes(const Graph& graph, size_t first, std::string_view q, TopHits& hits) {
    std::string folded;
    for (size_t i = first; i < graph.nodes.size(); ++i) {
        const Node* n = graph.nodes[i];
        if (n == nullptr) continue;
        folded.assign(n->id);
        for (char& c : folded) c = fold(c);
        MatchRank rank;
        if (rankMatch(folded, q, rank)) {
            hits.offer({static_cast<int32_t>(i), rank, static_cast<uint32_t>(n->id.size())});
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
    const std::string_view shortLabel = shortLabelOf(id);
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
    if (!q.empty()) scanNodes(graph, 0, q, hits);
    return hits.take();
}

size_t NodeSearchIndex::nodeCount(const Graph& graph) { return graph.nodes.size(); }

void NodeSearchIndex::clear() {
    std::string().swap(text_);
    std::vector<uint32_t>().swap(starts_);
    full_ = false;
}

bool NodeSearchIndex::buildSome(const Graph& graph, size_t count) {
    const size_t n = nodeCount(graph);
    if (full_) return false;
    if (starts_.empty()) {
        starts_.reserve(n + 1);
        starts_.push_back(0);
    }
    size_t i = indexed();
    const size_t end = std::min(n, i + count);
    for (; i < end; ++i) {
        const Node* node = graph.nodes[i];
        const std::string_view id = node != nullptr ? std::string_view(node->id) : "";
        if (text_.size() + id.size() + 1 > std::numeric_limits<uint32_t>::max()) {
            full_ = true;  // the remaining nodes are scanned plainly
            return false;
        }
        const size_t at = text_.size();
        text_.append(id);
        for (size_t k = at; k < text_.size(); ++k) text_[k] = fold(text_[k]);
        text_.push_back('\n');
        starts_.push_back(static_cast<uint32_t>(text_.size()));
    }
    if (i >= n) {
        text_.shrink_to_fit();
        return false;
    }
    return true;
}

SearchResult NodeSearchIndex::search(const Graph& graph, std::string_view query,
                                     size_t limit) const {
    TopHits hits(limit);
    const std::string q = foldQuery(query);
    if (q.empty()) return hits.take();
    const size_t done = std::min(indexed(), nodeCount(graph));
    if (q.find('\n') != std::string::npos) {
        scanNodes(graph, 0, q, hits);  // no id holds a line end: the scan finds nothing either
        return hits.take();
    }

    // One memmem pass over the folded text; after a hit the search resumes at the next id, so
    // each node counts once, and the node of a hit is found by walking the start offsets.
    const char* base = text_.data();
    const size_t textEnd = done > 0 ? starts_[done] : 0;
    size_t pos = 0;
    size_t node = 0;
    while (pos < textEnd) {
        const void* found = ::memmem(base + pos, textEnd - pos, q.data(), q.size());
        if (found == nullptr) break;
        const size_t at = static_cast<const char*>(found) - base;
        while (starts_[node + 1] <= at) ++node;
        const size_t start = starts_[node];
        const size_t idEnd = starts_[node + 1] - 1;  // before the '\n'
        // memmem found the query inside this id: only its rank is left to tell.
        const std::string_view id(base + start, idEnd - start);
        hits.offer({static_cast<int32_t>(node), rankOfMatch(id, q), static_cast<uint32_t>(id.size())});
        pos = starts_[node + 1];
        ++node;
    }
    scanNodes(graph, done, q, hits);
    return hits.take();
}

size_t NodeSearchIndex::memoryBytes() const {
    return text_.capacity() + starts_.capacity() * sizeof(uint32_t);
}

}  // namespace orvo
