// Placement without sizing: the radii are known, so each parent's children are placed once, in
// the order and with the anchor the sizing passes would have used.
#include "layout/placement_from_radii.h"

#include <vector>

#include "graph/graph.h"
#include "layout/layout.h"

namespace orvo {

namespace {

// Post-order over the whole tree from its root: every node's count after its children's.
void countDescendants(Node* root) {
    std::vector<LayoutScratch::Frame> stack{{root, 0}};
    while (!stack.empty()) {
        LayoutScratch::Frame& top = stack.back();
        Node* node = top.node;
        if (top.nextChild < node->children.size()) {
            Node* child = node->children[top.nextChild++];
            stack.push_back({child, 0});
            continue;
        }
        stack.pop_back();
        node->descendantCount = 0;
        for (const Node* k : node->children) node->descendantCount += k->descendantCount + 1;
    }
}

void placeChildrenOf(const ViewerSettings& settings, Node* anchor, bool upward, Node* p,
                     std::vector<OrderRecord>& order) {
    order.clear();
    for (std::size_t i = 0; i < p->children.size(); ++i)
        order.push_back({static_cast<float>(p->children[i]->descendantCount), static_cast<int>(i)});
    sortByDescendingCount(order);
    placeChildren(settings, anchor, upward, p, order);
}

}  // namespace

void placeFromRadii(Graph& graph, const ViewerSettings& settings, Node* s) {
    if (s == nullptr) return;
    Node* root = s;
    while (root->parent != nullptr) root = root->parent;
    countDescendants(root);
    placeFromRadiiAndCounts(graph, settings, s);
}

void placeFromRadiiAndCounts(Graph& graph, const ViewerSettings& settings, Node* s) {
    if (s == nullptr) return;
    Node* root = s;
    while (root->parent != nullptr) root = root->parent;

    // The start's ancestors place their children relative to the child leading to the start.
    std::vector<OrderRecord> order;
    std::vector<Node*> stack{root};
    while (!stack.empty()) {
        Node* p = stack.back();
        stack.pop_back();
        if (p->children.empty()) continue;
        placeChildrenOf(settings, p, false, p, order);
        for (Node* k : p->children) stack.push_back(k);
    }
    for (Node* n = s; n->parent != nullptr; n = n->parent)
        placeChildrenOf(settings, n, true, n->parent, order);

    s->setPlacementIdentity();
    graph.transforms().restart(s);
}

}  // namespace orvo
