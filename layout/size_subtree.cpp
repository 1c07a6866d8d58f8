// Bottom-up sizing of the hemispheres: each node's radius comes from the areas its children's
// hemispheres need, and the node's children are placed as soon as that radius is known.
#include <algorithm>
#include <cmath>
#include <utility>

#include "geometry/proj_point.h"
#include "graph/graph.h"
#include "layout/hemisphere_packing.h"
#include "layout/layout.h"
#include "layout/subtree_split.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

constexpr double kInverseTwoPi = 0.15915494309188485;

// Spare room by number of children: one child needs little, two need the most.
double inflation(std::size_t childCount) {
    if (childCount == 1) return 0.2;
    if (childCount == 2) return 0.9;
    if (childCount <= 5) return 0.6;
    return 0.4;
}

void sizeLeafAlone(const ViewerSettings& settings, Node* n) {
    if (n->children.empty()) {
        n->radius = settings.minRadius;
        n->setPlacementIdentity();
    }
}

// Post-order walk of n's subtree: every node is sized after all of its children. A leaf at the
// top gets the start's placement unless the walk is one part of a bigger one (`isPart`).
void sizeSubtreeDownward(const ViewerSettings& settings, Node* n, LayoutScratch& scratch,
                         LayoutTicker* ticker, bool isPart = false) {
    std::vector<LayoutScratch::Frame>& stack = scratch.stack;
    stack.clear();
    stack.push_back({n, 0});
    while (!stack.empty()) {
        LayoutScratch::Frame& top = stack.back();
        Node* node = top.node;
        if (top.nextChild < node->children.size()) {
            Node* child = node->children[top.nextChild++];
            stack.push_back({child, 0});  // invalidates `top`
            continue;
        }
        stack.pop_back();
        if (ticker != nullptr) ticker->tick();
        // A leaf below n gets its local transform from its parent's placement right after.
        if (node == n && !isPart) sizeLeafAlone(settings, node);
        sizeFromChildren(settings, node, false, node, scratch);
    }
}

// The same walk shared with a second thread: the subtrees below the top levels first, then the
// top levels deepest first.
void sizeSubtreeOnTwoThreads(const ViewerSettings& settings, Node* n, LayoutScratch& scratch,
                             LayoutTicker* ticker) {
    const SubtreeSplit split = splitSubtree(n, kSplitRoots);
    LayoutScratch helperScratch;
    forEachRootOnTwoThreads(split.roots, ticker, [&](Node* root, LayoutTicker* t, int thread) {
        sizeSubtreeDownward(settings, root, thread == 0 ? scratch : helperScratch, t, true);
    });
    for (auto it = split.upper.rbegin(); it != split.upper.rend(); ++it) {
        Node* node = *it;
        if (ticker != nullptr) ticker->tick();
        if (node == n) sizeLeafAlone(settings, node);
        sizeFromChildren(settings, node, false, node, scratch);
    }
}

}  // namespace

double hemisphereRadius(double areaSum, std::size_t childCount) {
    const double inflated =
        childCount == 0 ? 0.0 : areaSum * (1.0 + inflation(childCount) * std::tanh(areaSum));
    return asinh(std::sqrt(inflated * kInverseTwoPi));
}

void sortByDescendingCount(std::vector<OrderRecord>& order) {
    // Ties are broken by the original position, which makes the unstable sort stable without
    // the scratch allocation of a stable sort. Most lists (leaves only) are already in order.
    auto before = [](const OrderRecord& a, const OrderRecord& b) { return a.count > b.count; };
    if (std::is_sorted(order.begin(), order.end(), before)) return;
    std::sort(order.begin(), order.end(), [](const OrderRecord& a, const OrderRecord& b) {
        return a.count > b.count || (a.count == b.count && a.index < b.index);
    });
}

double sizeFromChildren(const ViewerSettings& settings, Node* anchor, bool upward, Node* target,
                        LayoutScratch& scratch) {
    Node* p = target;
    const PointerList<Node>& children = p->children;
    return sizeHemisphere(
        settings, children.size(), [&](size_t i) { return children[i]->radius; },
        [&](size_t i) { return children[i]->descendantCount; }, scratch.order, p->radius,
        p->descendantCount, [&](double) {
            return placeChildren(settings, anchor, upward, p, scratch.order);
        });
}

void sizeSubtree(const ViewerSettings& settings, Node* n, bool upward, LayoutTicker* ticker,
                 bool twoThreads) {
    LayoutScratch scratch;
    if (!upward) {
        if (twoThreads) {
            sizeSubtreeOnTwoThreads(settings, n, scratch, ticker);
        } else {
            sizeSubtreeDownward(settings, n, scratch, ticker);
        }
        return;
    }
    // Upward: size each ancestor relative to the child it was reached from, up to the top.
    while (true) {
        sizeLeafAlone(settings, n);
        Node* p = n->parent;
        if (p == nullptr) return;
        for (Node* k : p->children) {
            if (k != n) sizeSubtreeDownward(settings, k, scratch, ticker);
        }
        sizeFromChildren(settings, n, true, p, scratch);
        if (ticker != nullptr) ticker->tick();
        n = p;
    }
}

}  // namespace orvo
