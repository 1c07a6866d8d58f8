#include "graph/site_report.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "graph/graph.h"
#include "graph/positions_csv.h"
#include "memory/atomic_file.h"

namespace orvo {

namespace {

// Depth of every node below the root, by index; -1 for nodes the root's tree does not hold.
// Breadth-first, so that no tree is too deep for it.
std::vector<int64_t> treeDepths(const Graph& graph) {
    std::vector<int64_t> depth(graph.nodes.size(), -1);
    if (graph.root == nullptr) return depth;
    std::vector<const Node*> level{graph.root}, next;
    for (int64_t d = 0; !level.empty(); ++d, level.swap(next)) {
        next.clear();
        for (const Node* n : level) {
            depth[static_cast<size_t>(n->index)] = d;
            for (const Node* child : n->children) next.push_back(child);
        }
    }
    return depth;
}

}  // namespace

std::string siteReportCsv(const Graph& graph) {
    std::string out = "id,groups,depth,links_in,links_out,status\n";
    const std::vector<int64_t> depth = treeDepths(graph);
    for (const Node* n : graph.nodes) {
        appendCsvField(out, n->id);
        out += ',';
        std::string groups;
        for (int kind = 0; kind < kGroupKinds; ++kind) {
            const std::string_view name = graph.groupOf(*n, kind);
            if (kind == 1 || name.empty()) continue;
            if (!groups.empty()) groups += ';';
            groups += name;
        }
        appendCsvField(out, groups);
        out += ',';
        if (const int64_t d = depth[static_cast<size_t>(n->index)]; d >= 0)
            out += std::to_string(d);
        out += ',' + std::to_string(n->inLinks.size() + (n->parent != nullptr ? 1 : 0));
        out += ',' + std::to_string(n->outLinks.size() + n->children.size()) + ',';
        appendCsvField(out, graph.groupOf(*n, 1));
        out += '\n';
    }
    return out;
}

bool writeSiteReportFile(const std::string& path, const Graph& graph, std::string& error) {
    const std::string text = siteReportCsv(graph);
    return writeFileAtomically(
        path,
        [&text](const std::string&, std::FILE* out, std::string& reason) {
            if (std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
                std::fflush(out) == 0)
                return true;
            reason = std::strerror(errno != 0 ? errno : EIO);
            return false;
        },
        error);
}

}  // namespace orvo
