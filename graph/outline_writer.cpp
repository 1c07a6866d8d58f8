#include "graph/outline_writer.h"

#include <array>
#include <utility>

#include "graph/graph.h"
#include "stream/outline_format.h"
#include "stream/outline_label.h"

namespace orvo {

namespace {

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    bool record(int64_t level, const OutlineEntry& e) {
        std::string line = std::to_string(level) + ' ' + std::string(e.node->id) + " 0";
        std::array<std::string_view, kGroupKinds> names{};
        size_t count = 0;
        for (int kind = 0; kind < kGroupKinds; ++kind) {
            names[kind] = kind == 1 && !e.status.empty() ? e.status : e.graph->groupOf(*e.node, kind);
            if (!names[kind].empty()) count = static_cast<size_t>(kind) + 1;
        }
        for (size_t k = 0; k < count; ++k)
            line += ' ' + std::string(names[k].empty() ? "-" : names[k]);
        if (line.size() > kOutlineLineLimit) {
            ++leftOut_;
            return false;
        }
        out_ += line;
        out_ += '\n';
        return true;
    }

    /// The node's label record, when it has a label.
    void label(const OutlineEntry& e) {
        const std::string record = labelRecord(e.node->id, e.graph->labelOf(*e.node));
        if (record.empty()) return;
        out_ += record;
        out_ += '\n';
    }

    uint64_t leftOut() const { return leftOut_; }

private:
    std::string& out_;
    uint64_t leftOut_ = 0;
};

}  // namespace

uint64_t writeOutlineEntries(std::vector<OutlineEntry>& entries, size_t root, const Graph& linksOf,
                             std::string& out) {
    // The tree in pre-order (a record left out for its length lets its children hang one level
    // up), then each node's further links under its path restated.
    Writer writer(out);
    std::vector<std::pair<size_t, int64_t>> stack{{root, 0}};
    while (!stack.empty()) {
        auto [index, level] = stack.back();
        stack.pop_back();
        OutlineEntry& e = entries[index];
        const bool written = writer.record(level, e);
        if (written) {
            e.level = level;
            writer.label(e);
        }
        for (size_t i = e.children.size(); i-- > 0;)
            stack.emplace_back(e.children[i], written ? level + 1 : level);
    }
    std::vector<size_t> path;
    for (const Node* n : linksOf.nodes) {
        const OutlineEntry& from = entries[static_cast<size_t>(n->index)];
        if (n->outLinks.empty() || from.level < 0) continue;
        path.clear();
        for (size_t at = from.parent; at != root; at = entries[at].parent) path.push_back(at);
        if (n != linksOf.root) path.push_back(root);
        for (size_t i = path.size(); i-- > 0;)
            if (entries[path[i]].level >= 0)
                writer.record(entries[path[i]].level, entries[path[i]]);
        writer.record(from.level, from);
        for (const Link* l : n->outLinks)
            writer.record(from.level + 1, entries[static_cast<size_t>(l->toNode->index)]);
    }
    return writer.leftOut();
}

std::string graphOutline(const Graph& graph, uint64_t* recordsLeftOut) {
    std::string out;
    if (graph.root == nullptr) return out;
    std::vector<OutlineEntry> entries;
    entries.reserve(graph.nodes.size());
    for (const Node* n : graph.nodes) entries.push_back({&graph, n, {}, 0, {}});
    for (OutlineEntry& e : entries) {
        for (const Node* child : e.node->children) {
            e.children.push_back(static_cast<size_t>(child->index));
            entries[static_cast<size_t>(child->index)].parent = static_cast<size_t>(e.node->index);
        }
    }
    const size_t root = static_cast<size_t>(graph.root->index);
    entries[root].parent = root;
    const uint64_t leftOut = writeOutlineEntries(entries, root, graph, out);
    if (recordsLeftOut != nullptr) *recordsLeftOut = leftOut;
    return out;
}

}  // namespace orvo
