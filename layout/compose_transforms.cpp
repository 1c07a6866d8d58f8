// Composition of the local placements into global ones: downward through a subtree, and upward
// along the ancestors of the start node together with the subtrees hanging from them.
#include <vector>

#include "graph/graph.h"
#include "layout/layout.h"

namespace orvo {

namespace {

// Every node's global transform is set before its children's (the order among siblings does
// not change any value).
void composeDownward(Node* n, std::vector<Node*>& stack) {
    stack.clear();
    stack.push_back(n);
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        for (Node* k : node->children) {
            k->globalTransform = k->localTransform * node->globalTransform;
            if (!k->children.empty()) stack.push_back(k);
        }
    }
}

}  // namespace

void composeTransforms(Node* n, bool upward) {
    std::vector<Node*> stack;
    if (!upward) {
        composeDownward(n, stack);
        return;
    }
    for (Node* p = n->parent; p != nullptr; n = p, p = p->parent) {
        p->globalTransform = p->localTransform * n->globalTransform;
        for (Node* k : p->children) {
            if (k == n) continue;
            k->globalTransform = k->localTransform * p->globalTransform;
            composeDownward(k, stack);
        }
    }
}

}  // namespace orvo
