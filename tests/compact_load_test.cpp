// The reader's fast path on seeded generated sites under each set of load flags: the graph, its
// dump, its tree and its layout against golden fingerprints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "graph/graph.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"
#include "tests/graph_test_support.h"
#include "tools/site_generator.h"

namespace orvo {
namespace {

using testing::describe;

// A generated site of 2000 ids (moves, non-tree links), on odd seeds roughened as below.
std::string roughOutline(unsigned seed) {
    SiteOptions options;
    options.nodes = 2000;
    options.seed = seed;
    std::istringstream site(generateSiteGraph(options));
    std::mt19937 rng(seed);
    std::string out;
    for (std::string line; std::getline(site, line); out += line + "\n") {
        const size_t id = line.find(' ', line.find_first_not_of(' ')),
                     extra = line.find(' ', id + 1);
        if (seed % 2 == 0 || id == std::string::npos || extra == std::string::npos) continue;
        const unsigned noise = rng() % 30;
        if (noise == 0) line = "";
        if (noise == 1) line = "   ";
        if (noise == 2) line.resize(id);         // a level alone
        if (noise == 3) line.resize(extra);      // no placeholder
        if (noise == 4) line.append(1100, 'w');  // over the line limit: dropped whole
        if (noise == 5) line.insert(line.size() - 1, 1, '\0');
        if (noise == 6) line.replace(extra, 1, " \t ");
        if (noise == 7) line = "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 0.5 0 0 1";
        if (noise == 8)
            line = std::to_string(std::atoi(line.c_str()) + 2 + rng() % 3) + line.substr(id);
        if (noise == 9) line = "-1" + line.substr(id);  // above the top
    }
    return out;
}

// A read graph's fingerprint: its text, each node's flags, counts and lists, its radius and
// position to six digits (enough to catch a misplaced subtree, too few for another compiler's last
// bit).
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
        const ProjPoint at = g.positionOf(*n);
        real(n->radius), real(at.x), real(at.y), real(at.z);
    }
    uint64_t hash = 14695981039346656037u;  // 64-bit FNV-1a
    for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211u;
    std::snprintf(number, sizeof number, "%016llx", static_cast<unsigned long long>(hash));
    return std::to_string(g.nodes.size()) + " nodes " + std::to_string(g.links.size()) + " links " +
           number;
}

// Read, then laid out again from a deep node. The fingerprints were written when this read was
// checked bit for bit against the records applied one at a time (groups and home view aside).
TEST(CompactLoad, SeededOutlinesGiveTheirGoldenFingerprints) {
    EXPECT_TRUE(testing::answersMatch("compact_load.txt", [](const std::string& question) {
        const testing::Strings f = testing::fields(question);
        const unsigned seed = std::stoul(f.at(0));
        ViewerSettings settings;
        settings.loadFlags = std::stoi(f.at(1));
        Graph g(settings);
        std::istringstream in(roughOutline(seed));
        if (!readAndLayOut(g, in)) return std::string("no graph");
        const std::string read = fingerprint(g);
        relayoutFrom(g, g.nodes[g.nodes.size() * 2 / 3]);
        return read + " | from a deep node " + fingerprint(g);
    }));
}

}  // namespace
}  // namespace orvo
