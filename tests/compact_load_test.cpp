// The reader's fast path (block reads, lookups kept only while reading, holes squeezed out at the
// end, compact local placements) against the plain path: every record applied one at a time
// through addRecord, with no read state. On seeded random outlines, under each set of load flags,
// both keep the tree's invariants and give the same graph, the same debug dump and the same
// transforms, bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/record_fields.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"
#include "tests/graph_test_support.h"
#include "tests/seeded_outline.h"

namespace orvo {
namespace {

using testing::describe;
using testing::randomOutline;

// The outline rules, one record at a time, straight onto addRecord.
void readRecordByRecord(Graph& g, std::string_view text) {
    const bool withExtra = g.settings.loadFlags & ExtraField;
    Node* parent = nullptr;
    int64_t parentLevel = -999;
    Node* lastNode = nullptr;
    std::vector<Node*> ancestors;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() > 1023) continue;
        line = line.substr(0, std::min(line.size(), line.find('\0')));
        if (line.size() <= 1) continue;
        RecordFields fields(line);
        const int32_t level = readInt(fields.next());
        const std::string_view id = fields.next();
        if (id.empty() || level < -98) continue;
        int32_t extra = 0;
        if (withExtra) {
            const std::string_view field = fields.next();
            if (field.empty()) continue;
            extra = readInt(field);
        }
        if (fields.next().empty()) continue;

        const int64_t v = level;
        if (v > parentLevel + 1) {
            if (parentLevel < -98) {
                parentLevel = v;
            } else if (parent != nullptr) {
                ancestors.push_back(parent);
                parentLevel += 1;
                parent = lastNode;
            }
        } else if (v <= parentLevel) {
            int64_t pops = parentLevel - v + 1;
            parentLevel = v - 1;
            for (; pops > 0 && !ancestors.empty(); --pops) {
                parent = ancestors.back();
                ancestors.pop_back();
            }
        }
        if (Node* added = g.addRecord(parent, id, level, extra)) {
            lastNode = added;
            if (parent == nullptr) parent = added;
        } else {
            lastNode = g.findNode(id);
        }
    }
}

// Both graphs alike: the same text (dump, levels, link ends, flags and extras), the same child
// and link lists, and the same radii and transforms to the last bit.
void expectSameGraph(const Graph& fast, const Graph& plain, const std::string& what) {
    ASSERT_EQ(describe(fast), describe(plain)) << what;
    for (size_t i = 0; i < fast.links.size(); ++i) {
        const Link &a = *fast.links[i], &b = *plain.links[i];
        for (const auto& [p, q] : {std::pair{a.fromPosition(), b.fromPosition()},
                                   std::pair{a.toPosition(), b.toPosition()}}) {
            ASSERT_EQ(std::memcmp(&p, &q, sizeof p), 0) << what << " link " << i;
        }
    }
    const auto indices = [](const auto& list) {
        std::vector<int32_t> out;
        for (const auto* x : list) out.push_back(x->index);
        return out;
    };
    for (size_t i = 0; i < fast.nodes.size(); ++i) {
        const Node &a = *fast.nodes[i], &b = *plain.nodes[i];
        ASSERT_EQ(a.flags, b.flags) << what << " node " << i;
        ASSERT_EQ(indices(a.children), indices(b.children)) << what << " node " << i;
        ASSERT_EQ(indices(a.inLinks), indices(b.inLinks)) << what << " node " << i;
        ASSERT_EQ(indices(a.outLinks), indices(b.outLinks)) << what << " node " << i;
        ASSERT_EQ(a.descendantCount, b.descendantCount) << what << " node " << i;
        ASSERT_EQ(std::memcmp(&a.radius, &b.radius, sizeof a.radius), 0) << what << i;
        const ProjTransform la = a.localTransform(), lb = b.localTransform();
        ASSERT_EQ(std::memcmp(la.m, lb.m, sizeof la.m), 0) << what << " node " << i;
        ASSERT_EQ(std::memcmp(a.globalTransform.m, b.globalTransform.m, sizeof la.m), 0)
            << what << " node " << i;
    }
}

TEST(CompactLoad, FastReadMatchesRecordByRecordOnSeededOutlines) {
    const int32_t flagSets[] = {CompareComponents | PreferAlphabetical | PreferShallower,
                                0,
                                NeverMove,
                                0x3E,
                                ExtraField | 0x02,
                                SameTopAncestor | CompareComponents | PreferShallower,
                                kWindowLoadFlags,
                                ExtraField | PreferShallower,
                                SameTopAncestor | 0x0A};
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const std::string text = randomOutline(seed, 3000, seed % 2 == 0);
        for (const int32_t flags : flagSets) {
            const std::string what =
                "seed " + std::to_string(seed) + " flags " + std::to_string(flags);
            ViewerSettings settingsFast, settingsPlain;
            settingsFast.loadFlags = settingsPlain.loadFlags = flags;
            Graph fast(settingsFast);
            std::istringstream in(text);
            ASSERT_TRUE(readAndLayOut(fast, in)) << what;
            ASSERT_EQ(checkGraphInvariants(fast), "") << what;

            Graph plain(settingsPlain);
            readRecordByRecord(plain, text);
            ASSERT_FALSE(plain.nodes.empty()) << what;
            relayoutFrom(plain, plain.nodes[0]);
            expectSameGraph(fast, plain, what);
            if (HasFatalFailure()) return;

            // Laid out again from a node deep in the tree, both still agree.
            Node* deepFast = fast.nodes[fast.nodes.size() * 2 / 3];
            Node* deepPlain = plain.nodes[plain.nodes.size() * 2 / 3];
            relayoutFrom(fast, deepFast);
            relayoutFrom(plain, deepPlain);
            expectSameGraph(fast, plain, what + " from a deep node");
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
}  // namespace orvo
