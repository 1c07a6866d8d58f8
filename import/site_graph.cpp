// Node storage (ids in the shared text arena, no allocation per node) and the outline writing.
#include "import/site_graph.h"

#include <algorithm>
#include <boost/unordered/unordered_flat_set.hpp>
#include <cstring>

#include "import/outline_writer.h"
#include "import/warnings.h"

namespace orvo {

namespace {

constexpr uint64_t kProgressStep = 1 << 16;

}  // namespace

SiteGraph::SiteGraph() = default;
SiteGraph::~SiteGraph() = default;

void SiteGraph::reserve(size_t nodes) {
    reserved_ = nodes;
    tableSized_ = false;
    ids_.reserve(nodes);
    for (auto* links : {&parent_, &firstChild_, &lastChild_, &nextSibling_}) links->reserve(nodes);
    groups_.reserve(nodes);
}

void SiteGraph::indexIds() const {
    if (indexed_ == ids_.size() && tableSized_) return;
    if (!tableSized_) {
        byId_.reserve(std::max(reserved_, ids_.size()));
        tableSized_ = true;
    }
    for (; indexed_ < ids_.size(); ++indexed_) {
        byId_.emplace(ids_[indexed_], static_cast<Index>(indexed_));
    }
}

SiteGraph::Index SiteGraph::intern(std::string_view id, bool* created) {
    indexIds();
    if (const auto found = byId_.find(id); found != byId_.end()) {
        if (created) *created = false;
        return found->second;
    }
    const Index n = add(id);
    byId_.emplace(ids_[n], n);
    indexed_ = ids_.size();
    if (created) *created = true;
    return n;
}

SiteGraph::Index SiteGraph::add(std::string_view id) {
    const auto n = static_cast<Index>(ids_.size());
    ids_.push_back(texts_.store(id));
    parent_.push_back(kNone);
    firstChild_.push_back(kNone);
    lastChild_.push_back(kNone);
    nextSibling_.push_back(kNone);
    groups_.push_back({0, 0});
    return n;
}

SiteGraph::Index SiteGraph::find(std::string_view id) const {
    indexIds();
    const auto found = byId_.find(id);
    return found == byId_.end() ? kNone : found->second;
}

void SiteGraph::setRoot(Index n) { root_ = n; }

void SiteGraph::attach(Index parent, Index child) {
    parent_[child] = parent;
    if (lastChild_[parent] == kNone) {
        firstChild_[parent] = child;
    } else {
        nextSibling_[lastChild_[parent]] = child;
    }
    lastChild_[parent] = child;
}

std::vector<SiteGraph::Index> SiteGraph::children(Index n) const {
    std::vector<Index> out;
    for (Index c = firstChild_[n]; c != kNone; c = nextSibling_[c]) out.push_back(c);
    return out;
}

void SiteGraph::addFurtherReference(Index from, Index to) { references_.emplace_back(from, to); }

SiteGraph::Reference SiteGraph::addReference(Index from, std::string_view id) {
    const Index to = intern(id);
    if (to == from) return {};
    if (!inTree(to)) {
        attach(from, to);
        return {to, true};
    }
    addFurtherReference(from, to);
    return {to, false};
}

uint32_t SiteGraph::internGroup(std::string_view name) {
    if (const auto found = groupByName_.find(std::string(name)); found != groupByName_.end()) {
        return found->second;
    }
    groupNames_.emplace_back(name);
    const auto code = static_cast<uint32_t>(groupNames_.size());
    groupByName_.emplace(std::string(name), code);
    return code;
}

void SiteGraph::setGroup(Index n, int kind, std::string_view name) {
    groups_[n][kind] = name.empty() ? 0 : internGroup(name);
}

std::string_view SiteGraph::group(Index n, int kind) const {
    const uint32_t code = groups_[n][kind];
    return code == 0 ? std::string_view() : std::string_view(groupNames_[code - 1]);
}

size_t SiteGraph::memoryUsed() const {
    size_t bytes = texts_.capacityBytes();
    bytes += ids_.capacity() * sizeof(std::string_view);
    bytes += byId_.bucket_count() * (sizeof(std::string_view) + sizeof(Index) + 1);
    bytes += 4 * parent_.capacity() * sizeof(Index);
    bytes += groups_.capacity() * sizeof(groups_[0]);
    bytes += references_.capacity() * sizeof(references_[0]);
    return bytes;
}

bool SiteGraph::write(OutlineWriter& writer, const ImportProgress& progress,
                      ImportResult& result) const {
    const size_t n = ids_.size();
    if (root_ == kNone) {
        result.error = "nothing to write: the graph has no root";
        return false;
    }

    // Ids as the format holds them; distinct ids must stay distinct once encoded.
    boost::unordered_flat_map<Index, std::string> encodedIds;
    {
        // Owns its texts: views into encodedIds would dangle when that map grows and moves its
        // strings (short ones hold their characters inside the moved object).
        boost::unordered_flat_set<std::string> taken;
        for (Index i = 0; i < n; ++i) {
            if (!fieldNeedsEncoding(ids_[i])) continue;
            std::string encoded = encodeField(ids_[i]);
            const auto clashes = [&](const std::string& text) {
                const Index other = find(text);
                return (other != kNone && other != i) || taken.contains(text);
            };
            if (clashes(encoded)) {
                std::string strict = encodeFieldStrictly(ids_[i]);
                for (int k = 2; clashes(strict); ++k) {
                    strict = encodeFieldStrictly(ids_[i]) + "%23" + std::to_string(k);
                }
                addWarning(result, "the ids \"" + encoded + "\" of two different nodes " +
                                       "would read the same; one is written as \"" + strict + "\"");
                encoded = std::move(strict);
            }
            taken.insert(encoded);
            encodedIds.emplace(i, std::move(encoded));
        }
    }
    std::vector<std::string> groupFields;
    groupFields.reserve(groupNames_.size());
    for (const std::string& g : groupNames_) groupFields.push_back(encodeField(g));
    const auto encodedId = [&](Index i) -> std::string_view {
        if (const auto found = encodedIds.find(i); found != encodedIds.end()) return found->second;
        return ids_[i];
    };

    // References grouped by the node that holds them, in the order they were added.
    std::vector<uint32_t> refStart(n + 1, 0);
    for (const auto& [from, to] : references_) ++refStart[from + 1];
    for (size_t i = 0; i < n; ++i) refStart[i + 1] += refStart[i];
    std::vector<Index> refTargets(references_.size());
    {
        std::vector<uint32_t> next(refStart.begin(), refStart.end() - 1);
        for (const auto& [from, to] : references_) refTargets[next[from]++] = to;
    }

    // Pre-order numbers and the order itself.
    std::vector<Index> order;
    order.reserve(n);
    std::vector<uint32_t> preorder(n, kNone);
    {
        std::vector<Index> stack{root_};
        std::vector<Index> reversed;
        while (!stack.empty()) {
            const Index x = stack.back();
            stack.pop_back();
            preorder[x] = static_cast<uint32_t>(order.size());
            order.push_back(x);
            reversed.clear();
            for (Index c = firstChild_[x]; c != kNone; c = nextSibling_[c]) reversed.push_back(c);
            for (auto c = reversed.rbegin(); c != reversed.rend(); ++c) stack.push_back(*c);
        }
    }
    const uint64_t total = order.size() + references_.size();
    uint64_t done = 0;
    const auto step = [&]() -> bool {
        if (++done % kProgressStep == 0) {
            progress(done, total, "writing");
            if (progress.cancelled()) return false;
        }
        return true;
    };

    writer.tooLong = [&](std::string_view id) {
        addWarning(result, "left out a record longer than the format's " +
                               std::to_string(kOutlineLineLimit) +
                               "-byte line limit: " + std::string(id.substr(0, 80)) + "...");
    };
    std::vector<int64_t> level(n, 0);
    std::vector<uint8_t> written(n, 0);
    std::vector<Index> mark(n, kNone);  // the node whose references last named this one
    std::array<std::string_view, kKinds> groupViews;
    const auto groupsOf = [&](Index x) -> std::span<const std::string_view> {
        for (int k = 0; k < kKinds; ++k) {
            const uint32_t code = groups_[x][k];
            groupViews[k] =
                code == 0 ? std::string_view() : std::string_view(groupFields[code - 1]);
        }
        return groupViews;
    };
    // A further reference worth a record: not to itself, not to its own tree child, not to a
    // node left out, not repeated.
    const auto worthWriting = [&](Index holder, Index target) {
        if (target == holder || parent_[target] == holder || !written[target]) return false;
        if (mark[target] == holder) return false;
        mark[target] = holder;
        return true;
    };

    // The tree, with references to nodes already written.
    bool anyLater = false;
    for (const Index x : order) {
        if (x != root_) {
            const Index p = parent_[x];
            level[x] = written[p] ? level[p] + 1 : level[p];
        }
        written[x] = writer.writeEncoded(level[x], encodedId(x), groupsOf(x));
        if (x == root_ && !written[x]) {
            // Its children would each be a top of their own.
            result.error = "the top of the tree is too long a record for the format: " +
                           std::string(encodedId(x).substr(0, 80)) + "...";
            return false;
        }
        if (!step()) return false;
        if (!written[x]) continue;
        for (uint32_t r = refStart[x]; r < refStart[x + 1]; ++r) {
            const Index t = refTargets[r];
            if (preorder[t] == kNone) continue;  // outside the tree
            if (preorder[t] > preorder[x]) {
                anyLater = true;
                continue;
            }
            if (worthWriting(x, t)) writer.writeEncoded(level[x] + 1, encodedId(t), groupsOf(t));
            if (!step()) return false;
        }
    }

    // References to nodes written after their holder, each holder's path restated first.
    if (anyLater) {
        std::fill(mark.begin(), mark.end(), kNone);
        std::vector<Index> stated;  // the path restated so far, root first
        std::vector<uint8_t> onPath(n, 0);
        std::vector<Index> chain;
        for (const Index x : order) {
            if (!written[x]) continue;
            bool any = false;
            for (uint32_t r = refStart[x]; r < refStart[x + 1] && !any; ++r) {
                const Index t = refTargets[r];
                any = preorder[t] != kNone && preorder[t] > preorder[x] && written[t] &&
                      parent_[t] != x && t != x;
            }
            if (!any) continue;
            chain.clear();
            Index up = x;
            while (up != kNone && !onPath[up]) {
                chain.push_back(up);
                up = up == root_ ? kNone : parent_[up];
            }
            while (!stated.empty() && stated.back() != up) {
                onPath[stated.back()] = 0;
                stated.pop_back();
            }
            for (auto c = chain.rbegin(); c != chain.rend(); ++c) {
                if (written[*c]) writer.writeEncoded(level[*c], encodedId(*c), groupsOf(*c));
                stated.push_back(*c);
                onPath[*c] = 1;
            }
            for (uint32_t r = refStart[x]; r < refStart[x + 1]; ++r) {
                const Index t = refTargets[r];
                if (preorder[t] == kNone || preorder[t] < preorder[x]) continue;
                if (worthWriting(x, t))
                    writer.writeEncoded(level[x] + 1, encodedId(t), groupsOf(t));
                if (!step()) return false;
            }
        }
    }
    if (!writer.flush()) {
        result.error = "could not write the output";
        return false;
    }
    progress(total, total, "writing");
    result.records = writer.recordsWritten();
    return true;
}

}  // namespace orvo
