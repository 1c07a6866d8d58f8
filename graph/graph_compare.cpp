#include "graph/graph_compare.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "graph/graph.h"
#include "graph/link_score.h"
#include "graph/measures_csv.h"
#include "graph/outline_writer.h"

namespace orvo {

namespace {

constexpr std::array<const char*, 4> kGroups = {"added", "removed", "changed", "unchanged"};
enum Change { kAdded, kRemoved, kChanged, kUnchanged };
using Entry = OutlineEntry;

// The ids a node links to, its tree children first.
std::vector<std::string_view> linksOut(const Node& n) {
    std::vector<std::string_view> ids;
    ids.reserve(n.children.size() + n.outLinks.size());
    for (const Node* child : n.children) ids.push_back(child->id);
    for (const Link* l : n.outLinks) ids.push_back(l->toId());
    return ids;
}

std::vector<std::string_view> sorted(std::vector<std::string_view> ids) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

std::vector<std::string> missingFrom(const std::vector<std::string_view>& ids,
                                     const std::vector<std::string_view>& sortedOther) {
    std::vector<std::string> missing;
    for (std::string_view id : ids)
        if (!std::binary_search(sortedOther.begin(), sortedOther.end(), id) &&
            std::find(missing.begin(), missing.end(), id) == missing.end())
            missing.emplace_back(id);
    return missing;
}

}  // namespace

bool isComparisonStatus(std::string_view group) {
    return std::find(kGroups.begin(), kGroups.end(), group) != kGroups.end();
}

GraphComparison compareGraphs(const Graph& older, const Graph& newer) {
    GraphComparison result;
    if (newer.root == nullptr) return result;
    std::vector<Entry> entries;
    entries.reserve(newer.nodes.size());
    for (const Node* n : newer.nodes) {
        Entry e{&newer, n, kGroups[kAdded], 0, {}};
        if (const Node* old = older.findNode(n->id)) {
            const std::vector<std::string_view> now = linksOut(*n), before = linksOut(*old);
            const std::vector<std::string_view> nowSorted = sorted(now),
                                                beforeSorted = sorted(before);
            const bool changed = nowSorted != beforeSorted;
            e.status = kGroups[changed ? kChanged : kUnchanged];
            if (changed)
                result.changes.push_back({std::string(n->id), "changed",
                                          missingFrom(now, beforeSorted),
                                          missingFrom(before, nowSorted)});
        }
        ++(e.status == kGroups[kAdded]     ? result.added
           : e.status == kGroups[kChanged] ? result.changed
                                           : result.unchanged);
        entries.push_back(std::move(e));
    }
    const size_t root = static_cast<size_t>(newer.root->index);
    for (Entry& e : entries) {
        for (const Node* child : e.node->children) {
            e.children.push_back(static_cast<size_t>(child->index));
            entries[static_cast<size_t>(child->index)].parent = static_cast<size_t>(e.node->index);
        }
    }
    entries[root].parent = root;

    // The removed nodes in the older tree's pre-order, so that a removed parent is placed before
    // its children.
    if (older.root != nullptr) {
        std::vector<size_t> removedAt(older.nodes.size(), SIZE_MAX);
        std::vector<const Node*> stack{older.root};
        while (!stack.empty()) {
            const Node* n = stack.back();
            stack.pop_back();
            for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i]);
            if (newer.findNode(n->id) != nullptr) continue;
            size_t parent = root;
            if (const Node* p = n->parent) {
                if (const Node* there = newer.findNode(p->id))
                    parent = static_cast<size_t>(there->index);
                else if (removedAt[static_cast<size_t>(p->index)] != SIZE_MAX)
                    parent = removedAt[static_cast<size_t>(p->index)];
            }
            removedAt[static_cast<size_t>(n->index)] = entries.size();
            entries[parent].children.push_back(entries.size());
            entries.push_back({&older, n, kGroups[kRemoved], parent, {}});
            ++result.removed;
            result.changes.push_back({std::string(n->id), "removed", {}, [&] {
                                          std::vector<std::string> ids;
                                          for (std::string_view id : linksOut(*n))
                                              ids.emplace_back(id);
                                          return ids;
                                      }()});
        }
    }

    result.recordsLeftOut = writeOutlineEntries(entries, root, newer, result.outline);
    return result;
}

std::string changesCsv(const GraphComparison& comparison, const Graph& older, const Graph& newer) {
    std::string out = "id,change,links_added,links_removed,score_before,score_after\n";
    const std::vector<double> before = computeLinkScores(older).score;
    const std::vector<double> after = computeLinkScores(newer).score;
    auto score = [&out](const Graph& graph, const std::vector<double>& scores,
                        const std::string& id) {
        const int32_t i = graph.findNodeIndex(id);
        if (i >= 0 && static_cast<size_t>(i) < scores.size())
            out += scoreText(scores[static_cast<size_t>(i)]);
    };
    auto list = [&out](const std::vector<std::string>& ids) {
        std::string joined;
        for (const std::string& id : ids) joined += (joined.empty() ? "" : " ") + id;
        if (joined.find_first_of(",\"") != std::string::npos) {
            out += '"';
            for (char c : joined) out += c == '"' ? std::string("\"\"") : std::string(1, c);
            out += '"';
        } else {
            out += joined;
        }
    };
    for (const NodeChange& c : comparison.changes) {
        list({c.id});
        out += ',' + c.change + ',';
        list(c.linksAdded);
        out += ',';
        list(c.linksRemoved);
        out += ',';
        score(older, before, c.id);
        out += ',';
        score(newer, after, c.id);
        out += '\n';
    }
    return out;
}

std::string comparisonSummary(const GraphComparison& c) {
    return "added " + std::to_string(c.added) + ", removed " + std::to_string(c.removed) +
           ", changed " + std::to_string(c.changed) + ", unchanged " + std::to_string(c.unchanged);
}

}  // namespace orvo
