// Status-bar texts.
#include "glue/status_text.h"

#include "graph/graph.h"

namespace orvo {

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string nodeNameText(const Graph& graph, const Node& node) {
    return nodeNameText(node.id, graph.labelOf(node));
}

std::string nodeNameText(std::string_view id, std::string_view label) {
    if (label.empty() || label == id) return std::string(id);
    return std::string(label) + " (" + std::string(id) + ")";
}

std::string flyingToText(const Graph& graph, const Node& node) {
    return "Flying to " + nodeNameText(graph, node);
}

std::string legendRowStatus(const LegendRow& row, bool hidden) {
    const std::string what = row.kind == LegendRow::Kind::Group   ? "Group " + row.name
                             : row.kind == LegendRow::Kind::Other ? "The groups under \"other\""
                                                                  : "Nodes without a group";
    return what + (hidden ? " hidden" : " shown");
}

std::string nodeGroupsText(const Graph& graph, const Node& node) {
    std::string text;
    for (int kind = 0; kind < kGroupKinds; ++kind) {
        const std::string_view name = graph.groupOf(node, kind);
        if (name.empty()) continue;
        if (!text.empty()) text += ", ";
        text += name;
        // A crawled redirect's one link out is its target.
        if (kind == 1 && name == "redirect" && node.children.size() + node.outLinks.size() == 1)
            text += " to " + std::string(node.children.empty() ? node.outLinks[0]->toId()
                                                               : node.children[0]->id);
    }
    return text.empty() ? "no group" : text;
}

std::string nodeLinksText(const Node& node) {
    // Its tree link in is its parent's, its tree links out are its children's.
    const size_t in = node.inLinks.size() + (node.parent != nullptr ? 1 : 0);
    const size_t out = node.outLinks.size() + node.children.size();
    return linksText(static_cast<int64_t>(in), static_cast<int64_t>(out));
}

std::string linksText(int64_t in, int64_t out) {
    return groupedNumber(static_cast<long long>(in)) + " in, " +
           groupedNumber(static_cast<long long>(out)) + " out";
}

std::string regionCountsText(uint64_t mapNodes, uint64_t mapLinks, int64_t regionNodes) {
    return groupedNumber(static_cast<long long>(mapNodes)) + " nodes, " +
           groupedNumber(static_cast<long long>(mapLinks)) + " links (" +
           groupedNumber(static_cast<long long>(regionNodes)) + " nodes around the view in memory)";
}

GraphCounts countGraph(const Graph& graph) {
    GraphCounts c;
    c.nodes = static_cast<int64_t>(graph.nodes.size());
    c.links = static_cast<int64_t>(graph.links.size());
    for (const Node* n : graph.nodes) c.shownNodes += (n != nullptr && n->isShown()) ? 1 : 0;
    // A link is drawn only when it is shown and both its ends are (hiding every node leaves the
    // links' own marks as they were).
    for (const Link* k : graph.links) {
        c.shownLinks +=
            (k != nullptr && k->isShown() && k->fromNode->isShown() && k->toNode->isShown()) ? 1
                                                                                             : 0;
    }
    return c;
}

std::string graphCountsText(const GraphCounts& c) {
    std::string text = groupedNumber(c.nodes) + (c.nodes == 1 ? " node, " : " nodes, ") +
                       groupedNumber(c.links) + (c.links == 1 ? " link" : " links");
    if (c.shownNodes == c.nodes && c.shownLinks == c.links) return text + " (all shown)";
    return text + " (" + groupedNumber(c.shownNodes) + " nodes and " + groupedNumber(c.shownLinks) +
           " links shown)";
}

std::string ellipsizeMiddle(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    const std::string dots = "...";
    if (maxBytes <= dots.size()) return dots.substr(0, maxBytes);
    const size_t keep = maxBytes - dots.size();
    size_t head = (keep + 1) / 2;
    size_t tail = text.size() - (keep - head);
    while (head > 0 && isContinuationByte(text[head])) --head;
    while (tail < text.size() && isContinuationByte(text[tail])) ++tail;
    return text.substr(0, head) + dots + text.substr(tail);
}

std::string findCountText(const SearchResult& result, bool searching) {
    const std::string total = groupedNumber(static_cast<long long>(result.total));
    if (searching)
        return "Searching every node; " + total + (result.total == 1 ? " match" : " matches") +
               " found at once.";
    if (result.total == 0) return "No node matches.";
    const std::string matched = total + (result.total == 1 ? " node matches" : " nodes match");
    // A lower bound is never given as the count, even when it equals the hits shown.
    if (result.total > result.hits.size() || result.totalAtLeast) {
        return (result.totalAtLeast ? "At least " : "") + matched +
               (result.hits.size() == 1 ? "; the best is shown."
                                        : "; the best " + std::to_string(result.hits.size()) +
                                              " are shown.");
    }
    return matched + ".";
}

}  // namespace orvo
