#include "graph/measures_csv.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "graph/graph.h"
#include "graph/positions_csv.h"

namespace orvo {

std::string scoreText(double score) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", score);
    return text;
}

std::vector<size_t> highestScores(const NodeMeasures& measures, size_t count) {
    std::vector<size_t> order(measures.size());
    std::iota(order.begin(), order.end(), size_t{0});
    count = std::min(count, order.size());
    const auto higher = [&measures](size_t a, size_t b) {
        return measures.score[a] > measures.score[b] ||
               (measures.score[a] == measures.score[b] && a < b);
    };
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count),
                      order.end(), higher);
    order.resize(count);
    return order;
}

std::string measuresCsv(const Graph& graph, const NodeMeasures& measures, size_t top) {
    std::string out = "index,id,depth,links_in,links_out,subtree,score\n";
    std::vector<size_t> rows;
    if (top > 0) {
        rows = highestScores(measures, top);
    } else {
        rows.resize(measures.size());
        std::iota(rows.begin(), rows.end(), size_t{0});
    }
    for (const size_t i : rows) {
        out += std::to_string(i) + ',';
        appendCsvField(out, graph.nodes[i]->id);
        out += ',';
        if (measures.depth[i] >= 0) out += std::to_string(measures.depth[i]);
        out += ',' + std::to_string(measures.linksIn[i]) + ',' +
               std::to_string(measures.linksOut[i]) + ',' + std::to_string(measures.subtree[i]) +
               ',' + scoreText(measures.score[i]) + '\n';
    }
    return out;
}

}  // namespace orvo
