// One round of the reader's fuzz target, shared with the test that replays the corpus and the
// saved crash inputs: read the bytes under several load flags, check the graph's invariants,
// then run the attribute operations, the dump and a take-over on what was read.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "layout/layout.h"
#include "tests/graph_invariants.h"

namespace orvo {

/// Empty when everything held; otherwise what broke.
inline std::string exerciseReader(const uint8_t* data, size_t size) {
    static constexpr int32_t kFlagSets[] = {
        kWindowLoadFlags, NeverMove, 0x3E, ExtraField | CompareComponents, SameTopAncestor | 0x08,
    };
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (int32_t flags : kFlagSets) {
        ViewerSettings settings;
        settings.loadFlags = flags;
        Graph g(settings);
        std::istringstream in(bytes);
        const bool loaded = readAndLayOut(g, in);
        if (loaded == g.empty()) return "reload result does not match the graph";
        std::string problem = checkGraphInvariants(g);
        if (!problem.empty()) return problem;
        if (!loaded) continue;
        // A label from the file is text that can be shown: no control byte, no line feed.
        for (const Node* n : g.nodes) {
            for (const char c : g.labelOf(*n)) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                    return "a label holding a control byte";
            }
        }

        const Node& root = *g.root;
        const std::string group(g.groupOf(root, 0));
        g.setGroupHidden(0, group, 1);
        g.setOutLinksShown("QX_TOPNODE", 1, 1);
        g.setInLinksShown(root.id, 1, 1);
        g.setOutLinksShown(g.nodes.back()->id, 0, 1);
        (void)g.collectShownSubtree(root.id, -1);
        (void)g.collectShownSubtree(g.nodes.back()->id, 2);
        g.setNegativeLevelLinksHidden(1);
        g.setNegativeLevelLinksHidden(0);
        settings.groupColumn = 1;
        for (const Node* n : g.nodes) {
            if (g.nodeColor(*n) == nullptr) return "node without a colour";
        }
        g.setGroupHidden(0, group, 0);
        g.setAllNodesShown(0);
        g.setAllLinksShown(1);
        const std::string dump = g.summaryAndDump();
        if (dump.empty()) return "empty dump of a graph with nodes";

        Graph shown(settings);
        shown.setGroupHidden(1, "main", 1);
        shown.takeContentsOf(g);
        problem = checkGraphInvariants(shown);
        if (!problem.empty()) return "after takeContentsOf: " + problem;
        if (!g.empty()) return "takeContentsOf left nodes behind";
        relayoutFrom(shown, shown.nodes.back());
    }
    return {};
}

}  // namespace orvo
