#include "graph/graph_compare.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "graph/graph.h"
#include "stream/outline_format.h"
#include "stream/outline_label.h"

namespace orvo {

namespace {

constexpr std::array<const char*, 4> kGroups = {"added", "removed", "changed", "unchanged"};
enum Change { kAdded, kRemoved, kChanged, kUnchanged };

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

// A node of the result: one of the newer graph's, or a removed one of the older graph's.
struct Entry {
    const Graph* graph;
    const Node* node;
    Change change;
    size_t parent;  // entry index; the root's is its own
    std::vector<size_t> children;
    int64_t level = -1;  // as written; -1 when left out
};

class Writer {
public:
    explicit Writer(GraphComparison& result) : result_(result) {}

    bool record(int64_t level, const Entry& e) {
        std::string line = std::to_string(level) + ' ' + std::string(e.node->id) + " 0";
        std::array<std::string_view, kGroupKinds> names{};
        size_t count = 0;
        for (int kind = 0; kind < kGroupKinds; ++kind) {
            names[kind] = kind == 1 ? kGroups[e.change] : e.graph->groupOf(*e.node, kind);
            if (!names[kind].empty()) count = static_cast<size_t>(kind) + 1;
        }
        for (size_t k = 0; k < count; ++k)
            line += ' ' + std::string(names[k].empty() ? "-" : names[k]);
        if (line.size() > kOutlineLineLimit) {
            ++result_.recordsLeftOut;
            return false;
        }
        result_.outline += line;
        result_.outline += '\n';
        return true;
    }

    /// The node's label record, when it has a label.
    void label(const Entry& e) {
        const std::string record = labelRecord(e.node->id, e.graph->labelOf(*e.node));
        if (record.empty()) return;
        result_.outline += record;
        result_.outline += '\n';
    }

private:
    GraphComparison& result_;
};

}  // namespace

GraphComparison compareGraphs(const Graph& older, const Graph& newer) {
    GraphComparison result;
    if (newer.root == nullptr) return result;
    std::vector<Entry> entries;
    entries.reserve(newer.nodes.size());
    for (const Node* n : newer.nodes) {
        Entry e{&newer, n, kAdded, 0, {}};
        if (const Node* old = older.findNode(n->id)) {
            const std::vector<std::string_view> now = linksOut(*n), before = linksOut(*old);
            const std::vector<std::string_view> nowSorted = sorted(now),
                                                beforeSorted = sorted(before);
            e.change = nowSorted == beforeSorted ? kUnchanged : kChanged;
            if (e.change == kChanged)
                result.changes.push_back({std::string(n->id), "changed",
                                          missingFrom(now, beforeSorted),
                                          missingFrom(before, nowSorted)});
        }
        ++(e.change == kAdded     ? result.added
           : e.change == kChanged ? result.changed
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
            entries.push_back({&older, n, kRemoved, parent, {}});
            ++result.removed;
            result.changes.push_back({std::string(n->id), "removed", {}, [&] {
                                          std::vector<std::string> ids;
                                          for (std::string_view id : linksOut(*n))
                                              ids.emplace_back(id);
                                          return ids;
                                      }()});
        }
    }

    // The tree in pre-order (a record left out for its length lets its children hang one level
    // up), then each newer node's further links under its path restated.
    Writer writer(result);
    std::vector<std::pair<size_t, int64_t>> stack{{root, 0}};
    while (!stack.empty()) {
        auto [index, level] = stack.back();
        stack.pop_back();
        Entry& e = entries[index];
        const bool written = writer.record(level, e);
        if (written) {
            e.level = level;
            writer.label(e);
        }
        for (size_t i = e.children.size(); i-- > 0;)
            stack.emplace_back(e.children[i], written ? level + 1 : level);
    }
    std::vector<size_t> path;
    for (const Node* n : newer.nodes) {
        const Entry& from = entries[static_cast<size_t>(n->index)];
        if (n->outLinks.empty() || from.level < 0) continue;
        path.clear();
        for (size_t at = from.parent; at != root; at = entries[at].parent) path.push_back(at);
        if (n != newer.root) path.push_back(root);
        for (size_t i = path.size(); i-- > 0;)
            if (entries[path[i]].level >= 0)
                writer.record(entries[path[i]].level, entries[path[i]]);
        writer.record(from.level, from);
        for (const Link* l : n->outLinks)
            writer.record(from.level + 1, entries[static_cast<size_t>(l->toNode->index)]);
    }
    return result;
}

std::string changesCsv(const GraphComparison& comparison) {
    std::string out = "id,change,links_added,links_removed\n";
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
        out += '\n';
    }
    return out;
}

std::string comparisonSummary(const GraphComparison& c) {
    return "added " + std::to_string(c.added) + ", removed " + std::to_string(c.removed) +
           ", changed " + std::to_string(c.changed) + ", unchanged " + std::to_string(c.unchanged);
}

}  // namespace orvo
