// Level-by-level splitting of a subtree, and the two threads that share its roots.
#include "layout/subtree_split.h"

#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

#include "graph/graph.h"
#include "layout/layout.h"

namespace orvo {

SubtreeSplit splitSubtree(Node* top, size_t wantedRoots) {
    SubtreeSplit split;
    std::vector<Node*> level{top};
    while (!level.empty()) {
        split.upper.insert(split.upper.end(), level.begin(), level.end());
        std::vector<Node*> next;
        for (Node* n : level) next.insert(next.end(), n->children.begin(), n->children.end());
        if (next.size() >= wantedRoots) {
            split.roots = std::move(next);
            break;
        }
        level = std::move(next);
    }
    return split;
}

void forEachRootOnTwoThreads(const std::vector<Node*>& roots, LayoutTicker* ticker,
                             const std::function<void(Node*, LayoutTicker*, int)>& work) {
    std::atomic<size_t> next{0};
    // The other thread counts into a ticker of its own; this thread passes its count on.
    std::atomic<uint64_t> helperDone{0};
    const LayoutTicker::Report helperReport = [&helperDone](uint64_t done, uint64_t) {
        helperDone.store(done, std::memory_order_relaxed);
    };
    LayoutTicker helperTicker(helperReport, 0);
    std::exception_ptr helperFailure;
    auto takeRoots = [&](LayoutTicker* t, int thread, const std::function<void()>& afterEach) {
        for (size_t i = next.fetch_add(1); i < roots.size(); i = next.fetch_add(1)) {
            work(roots[i], t, thread);
            if (afterEach) afterEach();
        }
    };

    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                takeRoots(ticker != nullptr ? &helperTicker : nullptr, 1, nullptr);
            } catch (...) {
                helperFailure = std::current_exception();
                next.store(roots.size());  // the rest is left; the failure ends the pass
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: this thread takes every root.
    }
    uint64_t passedOn = 0;
    auto passOn = [&] {
        const uint64_t done = helperDone.load(std::memory_order_relaxed);
        if (done > passedOn) {
            ticker->tick(done - passedOn);
            passedOn = done;
        }
    };
    try {
        takeRoots(ticker, 0, ticker != nullptr ? std::function<void()>(passOn) : nullptr);
    } catch (...) {
        next.store(roots.size());
        if (helper.joinable()) helper.join();
        throw;
    }
    if (helper.joinable()) helper.join();
    if (helperFailure) std::rethrow_exception(helperFailure);
    if (ticker != nullptr && helperTicker.done() > passedOn)
        ticker->tick(helperTicker.done() - passedOn);
}

}  // namespace orvo
