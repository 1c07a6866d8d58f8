// Composition of the local placements into global ones: downward through a subtree, and upward
// along the ancestors of the start node together with the subtrees hanging from them.
#include <vector>

#include "graph/graph.h"
#include "layout/layout.h"

namespace orvo {

namespace {

// Every node's global transform is set before its children's (the order among siblings does
// not change any value).
void composeDownward(Node* n, std::vector<Node*>& stack, ChildTranslations& translations,
                     LayoutTicker* ticker) {
    stack.clear();
    stack.push_back(n);
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        // Placed now: the node's children; and the top node, which its caller placed.
        if (ticker != nullptr) ticker->tick(node->children.size() + (node == n));
        for (Node* k : node->children) {
            k->globalTransform = localTransformOf(*k, translations) * node->globalTransform;
            if (!k->children.empty()) stack.push_back(k);
        }
    }
}

}  // namespace

ProjTransform localTransformOf(const Node& n, ChildTranslations& translations) {
    const LocalPlacement& at = n.localPlacement;
    if (n.placementKind == LocalPlacement::Identity) return ProjTransform::identity();
    const ProjTransform forward = translations.toward(at.distance) * at.rotation();
    return n.placementKind == LocalPlacement::Inverse ? forward.inverse() : forward;
}

void composeTransforms(Node* n, bool upward, LayoutTicker* ticker) {
    std::vector<Node*> stack;
    // Siblings share their parent's distance: a memo builds each distinct translation once.
    ChildTranslations translations;
    if (!upward) {
        composeDownward(n, stack, translations, ticker);
        return;
    }
    for (Node* p = n->parent; p != nullptr; n = p, p = p->parent) {
        p->globalTransform = localTransformOf(*p, translations) * n->globalTransform;
        if (ticker != nullptr) ticker->tick();
        for (Node* k : p->children) {
            if (k == n) continue;
            k->globalTransform = localTransformOf(*k, translations) * p->globalTransform;
            composeDownward(k, stack, translations, ticker);
        }
    }
}

}  // namespace orvo
