// The reader's fast path (block reads, lookups kept only while reading, holes squeezed out at the
// end, compact local placements) against the plain path: every record applied one at a time
// through addRecord, with no read state. On seeded random outlines, under each set of load flags,
// both keep the tree's invariants and give the same graph, the same debug dump and the same
// transforms, bit for bit.
#include <gtest/gtest.h>

#include <random>
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

namespace orvo {
namespace {

using testing::describe;

// A seeded random outline shaped like a crawled site and then roughened: repeated ids (moves and
// non-tree links), level jumps and returns, blanks, tabs, zero bytes, over-long and short lines.
inline std::string randomOutline(unsigned seed, int records, bool withNoise) {
    std::mt19937 rng(seed);
    const char* parts[] = {"a", "b", "c", "news", "img", "x.html", "y.gif", "z"};
    auto randomId = [&] {
        std::string id = "http://h" + std::to_string(rng() % 3) + "/";
        const int depth = static_cast<int>(rng() % 5);
        for (int i = 0; i < depth; ++i) {
            id += parts[rng() % 8];
            if (i + 1 < depth || rng() % 2) id += '/';
        }
        return id;
    };
    std::vector<std::string> seen;
    std::string out;
    int level = 0;
    for (int r = 0; r < records; ++r) {
        const unsigned pick = rng() % 100;
        if (r > 0) {
            if (pick < 40) {
                ++level;
            } else if (pick < 45) {
                level += 2 + static_cast<int>(rng() % 3);  // a jump: one level down only
            } else if (pick < 75) {
                level -= static_cast<int>(rng() % 3);
            } else if (pick < 78) {
                level = static_cast<int>(rng() % 3) - 1;  // back to the top, or above it
            }
        }
        if (level > 12) level = 12;
        const bool repeat = !seen.empty() && rng() % 3 == 0;
        const std::string id = repeat ? seen[rng() % seen.size()] : randomId();
        if (!repeat) seen.push_back(id);
        const std::string sep = withNoise && rng() % 10 == 0 ? " \t " : " ";
        std::string line = std::string(static_cast<size_t>(level > 0 ? level : 0), ' ') +
                           std::to_string(level) + sep + id + sep +
                           std::to_string(static_cast<int>(rng() % 7) - 2) + " x";
        if (withNoise) {
            const unsigned noise = rng() % 60;
            if (noise == 0) line = "";
            if (noise == 1) line = "   ";
            if (noise == 2) line = std::to_string(level);
            if (noise == 3) line.append(1100, 'w');  // over the line limit: dropped whole
            if (noise == 4) line.insert(line.size() - 1, 1, '\0');
            if (noise == 5) line = "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
            if (noise == 7) line = std::to_string(level) + " " + id;  // no placeholder
        }
        out += line;
        out += '\n';
    }
    return out;
}

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

// What both reads must agree on beyond the graph's text, bit for bit: each link's end
// positions, and each node's flags, descendant count, child and link lists, radius and transforms.
std::string bits(const Graph& g) {
    std::string out;
    const auto raw = [&out](const void* p, size_t n) {
        out.append(static_cast<const char*>(p), n);
    };
    const auto indices = [&out](const auto& list) {
        for (const auto* x : list) out += " " + std::to_string(x->index);
        out += ";";
    };
    for (const Link* l : g.links) {
        const ProjPoint from = l->fromPosition(), to = l->toPosition();
        raw(&from, sizeof from), raw(&to, sizeof to);
    }
    for (const Node* n : g.nodes) {
        out += "\n" + std::to_string(n->flags) + " " + std::to_string(n->descendantCount);
        indices(n->children), indices(n->inLinks), indices(n->outLinks);
        const ProjTransform local = n->localTransform();
        raw(&n->radius, sizeof n->radius), raw(local.m, sizeof local.m);
        raw(n->globalTransform.m, sizeof local.m);
    }
    return out;
}

TEST(CompactLoad, FastReadMatchesRecordByRecordOnSeededOutlines) {
    const int32_t flagSets[] = {0x2A, 0, NeverMove, 0x3E, 0x12, 0x26, kWindowLoadFlags, 0x30, 0x0E};
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
            ASSERT_EQ(describe(fast), describe(plain)) << what;
            ASSERT_TRUE(bits(fast) == bits(plain)) << what;

            // Laid out again from a node deep in the tree, both still agree.
            Node* deepFast = fast.nodes[fast.nodes.size() * 2 / 3];
            Node* deepPlain = plain.nodes[plain.nodes.size() * 2 / 3];
            relayoutFrom(fast, deepFast);
            relayoutFrom(plain, deepPlain);
            ASSERT_EQ(describe(fast), describe(plain)) << what << " from a deep node";
            ASSERT_TRUE(bits(fast) == bits(plain)) << what << " from a deep node";
        }
    }
}

}  // namespace
}  // namespace orvo
