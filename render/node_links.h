// The links a node's drawing draws, in the order it draws them: the frame, the selection pick
// and the pick from what the frame drew all walk them here, so that they cannot disagree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graph/graph.h"
#include "render/shown_link_cache.h"

namespace orvo {

/// How far ahead links are fetched: the links of a node lie all over memory (those of a page
/// linked from everywhere by the hundred thousand).
inline constexpr size_t kLinkPrefetch = 16;

/// Walks n's links as its drawing draws them (`graph` is n's, read for nodes with many links). While n's generation is below `limit`, a run of
/// two-pixel tree links: its parent link (unless already drawn), then its children's. Then a
/// run of one-pixel non-tree links: the shown ones whose far end is below `limit` too (or any,
/// when n is). Each run starts with beginRun(width) and ends with endRun(); visit(link) is
/// called for each link of a run and stops the walk by returning true. Returns whether it was
/// stopped.
template <typename BeginRun, typename Visit, typename EndRun>
bool forEachLinkDrawnWith(Node& n, int32_t limit, const Graph* graph, ShownLinkCache& shownLinks,
                          BeginRun beginRun, Visit visit, EndRun endRun) {
    if (n.generation < limit) {
        beginRun(2.0f);
        if (n.parentLink != nullptr && !(n.parentLink->flags & Drawn) && visit(n.parentLink)) {
            endRun();
            return true;
        }
        // A child's tree link is found through the child, so the child is fetched a step
        // before its link.
        const PointerList<Node>& children = n.children;
        const size_t childCount = children.size();
        for (size_t i = 0; i < childCount; ++i) {
            if (i + 2 * kLinkPrefetch < childCount) {
                __builtin_prefetch(&children[i + 2 * kLinkPrefetch]->parentLink);
            }
            if (i + kLinkPrefetch < childCount) {
                __builtin_prefetch(&children[i + kLinkPrefetch]->parentLink->flags);
            }
            if (visit(children[i]->parentLink)) {
                endRun();
                return true;
            }
        }
        endRun();
    }
    // A popular page has a non-tree link from nearly every other page, almost all of them hidden:
    // the link's own Shown flag is tested first, so that a hidden link costs one read and the
    // far node is not touched.
    beginRun(1.0f);
    const bool nearEnd = n.generation < limit;
    const size_t outCount = n.outLinks.size(), inCount = n.inLinks.size();
    bool stopped = false;
    if (outCount + inCount > ShownLinkCache::kManyLinks) {
        // The same links in the same order, the hidden ones left out beforehand.
        const ShownLinkCache::Entry& shown = shownLinks.of(*graph, n);
        for (size_t i = 0; i < shown.links.size() && !stopped; ++i) {
            Link* k = shown.links[i];
            const Node* other = i < shown.outCount ? k->toNode : k->fromNode;
            if (k->isShown() && other != nullptr && (nearEnd || other->generation < limit)) {
                stopped = visit(k);
            }
        }
        endRun();
        return stopped;
    }
    for (size_t i = 0; i < outCount && !stopped; ++i) {
        if (i + kLinkPrefetch < outCount) __builtin_prefetch(&n.outLinks[i + kLinkPrefetch]->flags);
        Link* k = n.outLinks[i];
        if (k->isShown() && k->toNode != nullptr && (nearEnd || k->toNode->generation < limit)) {
            stopped = visit(k);
        }
    }
    for (size_t i = 0; i < inCount && !stopped; ++i) {
        if (i + kLinkPrefetch < inCount) __builtin_prefetch(&n.inLinks[i + kLinkPrefetch]->flags);
        Link* k = n.inLinks[i];
        if (k->isShown() && k->fromNode != nullptr &&
            (nearEnd || k->fromNode->generation < limit)) {
            stopped = visit(k);
        }
    }
    endRun();
    return stopped;
}

}  // namespace orvo
