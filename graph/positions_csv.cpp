// Node positions as CSV.
#include "graph/positions_csv.h"

#include <cerrno>
#include <cstring>

#include "geometry/proj_point.h"
#include "graph/graph.h"
#include "memory/atomic_file.h"

namespace orvo {

void appendCsvField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\n\r") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

bool writePositionsCsv(std::FILE* out, const Graph& graph) {
    std::string row;
    std::fputs("index,id,x,y,z\n", out);
    for (const Node* n : graph.nodes) {
        // The node sits where its global transform carries the origin.
        const ProjPoint p = graph.positionOf(*n);
        row.clear();
        row += std::to_string(n->index);
        row += ',';
        appendCsvField(row, n->id);
        char coordinates[96];
        std::snprintf(coordinates, sizeof coordinates, ",%.17g,%.17g,%.17g\n", p.x, p.y, p.z);
        row += coordinates;
        std::fwrite(row.data(), 1, row.size(), out);
    }
    return std::ferror(out) == 0;
}

bool writePositionsCsvFile(const std::string& path, const Graph& graph, std::string& error) {
    return writeFileAtomically(
        path,
        [&graph](const std::string&, std::FILE* out, std::string& reason) {
            if (writePositionsCsv(out, graph)) return true;
            reason = std::strerror(errno != 0 ? errno : EIO);
            return false;
        },
        error);
}

}  // namespace orvo
