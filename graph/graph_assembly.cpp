// Building a graph from its stored parts instead of from outline text: the same nodes, links and
// lookups a read makes, given in the order the read made them.
#include "graph/graph.h"

namespace orvo {

void Graph::startAssembly(size_t nodeCount, size_t linkCount) {
    clearContents();
    homeTransform_ = ProjTransform::identity();
    nodes.reserve(nodeCount);
    links.reserve(linkCount);
    nodeIndexById_.reserve(nodeCount);
}

Node* Graph::assembleNode(std::string_view id, uint32_t idHash, int32_t level, GroupSetId groups) {
    Node* n = newNode(nullptr, level);
    const auto i = static_cast<int32_t>(nodes.size());
    n->index = i;
    n->id = idStore_.store(id);
    if (nodes.empty()) root = n;
    nodes.push_back(n);
    nodeIndexById_.note(i, idHash);
    n->groups = groups;
    return n;
}

int32_t Graph::indexAssembledNodes() { return nodeIndexById_.indexNoted(nodes); }

Link* Graph::assembleLink(Node* from, Node* to, int32_t extra, uint8_t flags) {
    return newLink(from, to, extra, flags);
}

void Graph::finishAssembly(int32_t topNodeIndex, const ProjTransform& home,
                           const ReadStats& stats) {
    root = nodes.empty() ? nullptr : nodes[0];
    topNodeIndex_ = topNodeIndex;
    homeTransform_ = home;
    readStats = stats;
    ++linkVisibilityVersion_;
    if (anyGroupHidden()) applyHiddenGroupsToAll();
    if (debugLevel != 0 && root != nullptr) writeDebugFile(summaryAndDump());  // as a read does
}

}  // namespace orvo
