#include "graph/site_report.h"

#include <cerrno>
#include <cstring>

#include "graph/graph.h"
#include "graph/measures_csv.h"
#include "graph/node_measures.h"
#include "graph/positions_csv.h"
#include "memory/atomic_file.h"

namespace orvo {

std::string siteReportCsv(const Graph& graph) {
    std::string out = "id,groups,depth,links_in,links_out,status,subtree,score\n";
    const NodeMeasures m = computeNodeMeasures(graph);
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
        const auto i = static_cast<size_t>(n->index);
        if (m.depth[i] >= 0) out += std::to_string(m.depth[i]);
        out += ',' + std::to_string(m.linksIn[i]) + ',' + std::to_string(m.linksOut[i]) + ',';
        appendCsvField(out, graph.groupOf(*n, 1));
        out += ',' + std::to_string(m.subtree[i]) + ',' + scoreText(m.score[i]) + '\n';
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
