// Composition of the local placements into global ones: downward through a subtree, and upward
// along the ancestors of the start node together with the subtrees hanging from them.
#include <vector>

#include "graph/graph.h"
#include "layout/layout.h"
#include "layout/subtree_split.h"

namespace orvo {

namespace {

// n's children take their global transforms from their own placement and n's.
void placeChildrenOf(Node* n, ChildTranslations& translations) {
    for (Node* k : n->children) {
        k->globalTransform = localTransformOf(*k, translations) * n->globalTransform;
    }
}

// Every node's global transform is set before its children's (the order among siblings does
// not change any value). The top node counts as placed here unless the walk is one part of a
// bigger one (`isPart`), whose caller counted it.
void composeDownward(Node* n, std::vector<Node*>& stack, ChildTranslations& translations,
                     LayoutTicker* ticker, bool isPart = false) {
    stack.clear();
    stack.push_back(n);
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        // Placed now: the node's children; and the top node, which its caller placed.
        if (ticker != nullptr) ticker->tick(node->children.size() + (node == n && !isPart));
        placeChildrenOf(node, translations);
        for (Node* k : node->children) {
            if (!k->children.empty()) stack.push_back(k);
        }
    }
}

// The same walk shared with a second thread: the top levels first, then the subtrees below.
void composeOnTwoThreads(Node* n, std::vector<Node*>& stack, ChildTranslations& translations,
                         LayoutTicker* ticker) {
    const SubtreeSplit split = splitSubtree(n, kSplitRoots);
    for (Node* node : split.upper) {
        if (ticker != nullptr) ticker->tick(node->children.size() + (node == n));
        placeChildrenOf(node, translations);
    }
    std::vector<Node*> helperStack;
    ChildTranslations helperTranslations;
    forEachRootOnTwoThreads(split.roots, ticker, [&](Node* root, LayoutTicker* t, int thread) {
        if (root->children.empty()) return;
        if (thread == 0) {
            composeDownward(root, stack, translations, t, true);
        } else {
            composeDownward(root, helperStack, helperTranslations, t, true);
        }
    });
}

}  // namespace

ProjTransform localTransformOf(const Node& n, ChildTranslations& translations) {
    const LocalPlacement& at = n.localPlacement;
    if (n.placementKind == LocalPlacement::Identity) return ProjTransform::identity();
    const ProjTransform forward = translations.toward(at.distance) * at.rotation();
    return n.placementKind == LocalPlacement::Inverse ? forward.inverse() : forward;
}

void composeTransforms(Node* n, bool upward, LayoutTicker* ticker, bool twoThreads) {
    std::vector<Node*> stack;
    // Siblings share their parent's distance: a memo builds each distinct translation once.
    ChildTranslations translations;
    if (!upward) {
        if (twoThreads) {
            composeOnTwoThreads(n, stack, translations, ticker);
        } else {
            composeDownward(n, stack, translations, ticker);
        }
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
