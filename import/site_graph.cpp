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
    links_.reserve(nodes);
    groups_.reserve(nodes);
}

void SiteGraph::indexIds() const {
    if (indexed_ == ids_.size() && tableSized_) return;
    if (!tableSized_) {
        byId_.reserve(std::max(reserved_, ids_.size()), ids_);
        tableSized_ = true;
    }
    for (; indexed_ < ids_.size(); ++indexed_) {
        const std::string_view id = ids_[indexed_];
        byId_.insert(id, IdTable::hashOf(id), static_cast<Index>(indexed_), ids_);
    }
}

SiteGraph::Index SiteGraph::intern(std::string_view id, bool* created) {
    indexIds();
    return findOrAdd(id, IdTable::hashOf(id), created);
}

SiteGraph::Index SiteGraph::findOrAdd(std::string_view id, uint64_t hash, bool* created) {
    Index n = byId_.find(id, hash, ids_);
    if (created) *created = n == kNone;
    if (n == kNone) {
        n = add(id);
        byId_.insert(ids_[n], hash, n, ids_);
        indexed_ = ids_.size();
    }
    return n;
}

void SiteGraph::internAll(std::span<const std::string_view> ids, std::span<Index> nodes) {
    indexIds();
    // Lookup k + kAhead has its slot fetched and lookup k + kAhead / 2 its id's bytes while
    // lookup k is made; the hashes wait in a ring.
    constexpr size_t kAhead = 8;
    std::array<uint64_t, kAhead> hashes{};
    const size_t count = ids.size();
    for (size_t k = 0; k < std::min(count, kAhead); ++k) {
        hashes[k] = IdTable::hashOf(ids[k]);
        byId_.prefetch(hashes[k]);
    }
    for (size_t k = 0; k < count; ++k) {
        const uint64_t hash = hashes[k % kAhead];
        if (k + kAhead < count) {
            hashes[k % kAhead] = IdTable::hashOf(ids[k + kAhead]);
            byId_.prefetch(hashes[k % kAhead]);
        }
        if (k + kAhead / 2 < count) byId_.prefetchId(hashes[(k + kAhead / 2) % kAhead]);
        nodes[k] = findOrAdd(ids[k], hash);
    }
}

SiteGraph::Index SiteGraph::add(std::string_view id) {
    const auto n = static_cast<Index>(ids_.size());
    ids_.push_back(texts_.store(id));
    links_.emplace_back();
    groups_.push_back({0, 0});
    return n;
}

SiteGraph::Index SiteGraph::find(std::string_view id) const {
    indexIds();
    return byId_.find(id, IdTable::hashOf(id), ids_);
}

void SiteGraph::setRoot(Index n) { root_ = n; }

void SiteGraph::attach(Index parent, Index child) {
    Links& up = links_[parent];
    links_[child].parent = parent;
    if (up.lastChild == kNone) {
        up.firstChild = child;
    } else {
        links_[up.lastChild].nextSibling = child;
    }
    up.lastChild = child;
}

std::vector<SiteGraph::Index> SiteGraph::children(Index n) const {
    std::vector<Index> out;
    for (Index c = links_[n].firstChild; c != kNone; c = links_[c].nextSibling) out.push_back(c);
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

void SiteGraph::setLabel(Index n, std::string_view label) {
    if (label.empty() && n >= labels_.size()) return;
    if (n >= labels_.size()) labels_.resize(std::max<size_t>(n + 1, ids_.size()));
    labels_[n] = label.empty() ? std::string_view() : texts_.store(label);
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
    bytes += byId_.bytesHeld();
    bytes += links_.capacity() * sizeof(Links);
    bytes += groups_.capacity() * sizeof(groups_[0]);
    bytes += references_.capacity() * sizeof(references_[0]);
    bytes += labels_.capacity() * sizeof(labels_[0]);
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

    // The tree in pre-order: the nodes by their place in it, and each one's parent's place.
    // Everything below goes by place, so that writing walks its tables in order.
    std::vector<Index> order, parentAt;
    std::vector<uint32_t> placeOf(n, kNone);
    order.reserve(n);
    parentAt.reserve(n);
    {
        std::vector<std::pair<Index, uint32_t>> stack{{root_, kNone}};
        while (!stack.empty()) {
            const auto [x, parentPlace] = stack.back();
            stack.pop_back();
            const auto place = static_cast<uint32_t>(order.size());
            placeOf[x] = place;
            order.push_back(x);
            parentAt.push_back(parentPlace);
            const size_t first = stack.size();
            for (Index c = links_[x].firstChild; c != kNone; c = links_[c].nextSibling) {
                stack.emplace_back(c, place);
            }
            std::reverse(stack.begin() + static_cast<ptrdiff_t>(first), stack.end());
        }
    }
    const size_t placed = order.size();

    // References grouped by the place of the node that holds them, in the order they were added;
    // those from or to a node outside the tree are never written.
    std::vector<uint32_t> refStart(placed + 1, 0);
    for (const auto& [from, to] : references_) {
        if (placeOf[from] != kNone && placeOf[to] != kNone) ++refStart[placeOf[from] + 1];
    }
    for (size_t i = 0; i < placed; ++i) refStart[i + 1] += refStart[i];
    std::vector<uint32_t> refTargets(refStart[placed]);
    {
        std::vector<uint32_t> next(refStart.begin(), refStart.end() - 1);
        for (const auto& [from, to] : references_) {
            if (placeOf[from] != kNone && placeOf[to] != kNone) {
                refTargets[next[placeOf[from]]++] = placeOf[to];
            }
        }
    }
    std::vector<uint32_t>().swap(placeOf);

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
    std::vector<uint32_t> level(placed, 0);
    std::vector<uint8_t> written(placed, 0);
    std::vector<uint32_t> mark(placed, kNone);  // the place whose references last named this one
    std::array<std::string_view, kKinds> groupViews;
    const auto groupsOf = [&](Index x) -> std::span<const std::string_view> {
        for (int k = 0; k < kKinds; ++k) {
            const uint32_t code = groups_[x][k];
            groupViews[k] =
                code == 0 ? std::string_view() : std::string_view(groupFields[code - 1]);
        }
        return groupViews;
    };
    const auto writeAt = [&](uint32_t recordLevel, uint32_t place) {
        const Index x = order[place];
        return writer.writeEncoded(recordLevel, encodedId(x), groupsOf(x));
    };
    // A further reference worth a record: not to itself, not to its own tree child, not to a
    // node left out, not repeated.
    const auto worthWriting = [&](uint32_t holder, uint32_t target) {
        if (target == holder || parentAt[target] == holder || !written[target]) return false;
        if (mark[target] == holder) return false;
        mark[target] = holder;
        return true;
    };

    // The tree, with references to nodes already written. The nodes' ids and groups lie in the
    // order the nodes were made, not in this one: they are fetched a few records ahead.
    constexpr uint32_t kAhead = 16;
    bool anyLater = false;
    for (uint32_t place = 0; place < placed; ++place) {
        if (place + kAhead < placed) {
            const Index ahead = order[place + kAhead];
            __builtin_prefetch(&ids_[ahead]);
            __builtin_prefetch(&groups_[ahead]);
            __builtin_prefetch(ids_[order[place + kAhead / 2]].data());
        }
        if (place != 0) {
            const uint32_t p = parentAt[place];
            level[place] = written[p] ? level[p] + 1 : level[p];
        }
        written[place] = writeAt(level[place], place);
        if (written[place]) {
            if (const std::string_view text = label(order[place]); !text.empty())
                writer.writeLabel(encodedId(order[place]), text);
        }
        if (place == 0 && !written[place]) {
            // Its children would each be a top of their own.
            result.error = "the top of the tree is too long a record for the format: " +
                           std::string(encodedId(root_).substr(0, 80)) + "...";
            return false;
        }
        if (!step()) return false;
        if (!written[place]) continue;
        for (uint32_t r = refStart[place]; r < refStart[place + 1]; ++r) {
            const uint32_t t = refTargets[r];
            if (t > place) {
                anyLater = true;
                continue;
            }
            if (worthWriting(place, t)) writeAt(level[place] + 1, t);
            if (!step()) return false;
        }
    }

    // References to nodes written after their holder, each holder's path restated first.
    if (anyLater) {
        std::fill(mark.begin(), mark.end(), kNone);
        std::vector<uint32_t> stated;  // the path restated so far, root first
        std::vector<uint8_t> onPath(placed, 0);
        std::vector<uint32_t> chain;
        for (uint32_t place = 0; place < placed; ++place) {
            if (!written[place]) continue;
            bool any = false;
            for (uint32_t r = refStart[place]; r < refStart[place + 1] && !any; ++r) {
                const uint32_t t = refTargets[r];
                any = t > place && written[t] && parentAt[t] != place;
            }
            if (!any) continue;
            chain.clear();
            uint32_t up = place;
            while (up != kNone && !onPath[up]) {
                chain.push_back(up);
                up = parentAt[up];
            }
            while (!stated.empty() && stated.back() != up) {
                onPath[stated.back()] = 0;
                stated.pop_back();
            }
            for (auto c = chain.rbegin(); c != chain.rend(); ++c) {
                if (written[*c]) writeAt(level[*c], *c);
                stated.push_back(*c);
                onPath[*c] = 1;
            }
            for (uint32_t r = refStart[place]; r < refStart[place + 1]; ++r) {
                const uint32_t t = refTargets[r];
                if (t < place) continue;
                if (worthWriting(place, t)) writeAt(level[place] + 1, t);
                if (!step()) return false;
            }
        }
    }
    // What the groups are, for the legend: the attribute they were taken from.
    if (!result.groupedBy.empty()) writer.writeGroupKindName(0, result.groupedBy);
    if (!writer.flush()) {
        result.error = "could not write the output";
        return false;
    }
    progress(total, total, "writing");
    result.records = writer.recordsWritten();
    return true;
}

}  // namespace orvo
