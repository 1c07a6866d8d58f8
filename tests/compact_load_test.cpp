// The reader's fast path (block reads, batches, lookups kept only while reading, holes squeezed
// out at the end, compact local placements) on seeded random outlines under each set of load
// flags: the graph, its dump, its tree and its layout against golden fingerprints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "graph/graph.h"
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

// A read graph's fingerprint: its text (dump, levels, links, home view, broken invariants), each
// node's flags, descendant count, child and link lists, and its radius and position to six
// digits (enough to catch any misplaced subtree, too few for another compiler's last bit).
std::string fingerprint(const Graph& g) {
    std::string text = describe(g);
    const auto indices = [&text](const auto& list) {
        for (const auto* x : list) text += " " + std::to_string(x->index);
        text += ";";
    };
    char number[32];
    const auto real = [&](double v) {
        std::snprintf(number, sizeof number, " %.6g", std::fabs(v) < 1e-9 ? 0.0 : v);
        text += number;
    };
    for (const Node* n : g.nodes) {
        text += "\n" + std::to_string(n->flags) + " " + std::to_string(n->descendantCount);
        indices(n->children), indices(n->inLinks), indices(n->outLinks);
        const ProjPoint at = n->position();
        real(n->radius), real(at.x), real(at.y), real(at.z);
    }
    uint64_t hash = 14695981039346656037u;  // 64-bit FNV-1a
    for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211u;
    std::snprintf(number, sizeof number, "%016llx", static_cast<unsigned long long>(hash));
    return std::to_string(g.nodes.size()) + " nodes " + std::to_string(g.links.size()) + " links " +
           number;
}

// Each seeded outline under each set of load flags, read, then laid out again from a node deep in
// the tree: the fingerprints of tests/data/compact_load.txt. They were written when this read was
// checked, bit for bit, against every record applied one at a time through addRecord.
TEST(CompactLoad, SeededOutlinesGiveTheirGoldenFingerprints) {
    EXPECT_TRUE(testing::answersMatch("compact_load.txt", [](const std::string& question) {
        const testing::Strings f = testing::fields(question);
        const unsigned seed = std::stoul(f.at(0));
        ViewerSettings settings;
        settings.loadFlags = std::stoi(f.at(1));
        Graph g(settings);
        std::istringstream in(randomOutline(seed, 3000, seed % 2 == 0));
        if (!readAndLayOut(g, in)) return std::string("no graph");
        const std::string read = fingerprint(g);
        relayoutFrom(g, g.nodes[g.nodes.size() * 2 / 3]);
        return read + " | from a deep node " + fingerprint(g);
    }));
}

}  // namespace
}  // namespace orvo
