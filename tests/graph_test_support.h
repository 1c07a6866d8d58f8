// The rig of the graph tests: reading a graph from text or from a file, what a read gives back
// as one comparable text, and the outline cases of tests/data.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "graph/graph.h"
#include "layout/layout.h"
#include "tests/graph_invariants.h"
#include "tests/test_files.h"

namespace orvo::testing {

inline bool readText(Graph& g, std::string_view text) {
    std::istringstream in{std::string(text)};
    return readAndLayOut(g, in);
}

inline bool readFile(Graph& g, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return readAndLayOut(g, in);
}

using Strings = std::vector<std::string>;

inline Strings childIds(const Node* n) {
    Strings ids;
    for (const Node* c : n->children) ids.emplace_back(c->id);
    return ids;
}

/// The debug dump of examples/worked-example.graph (and of tests/data/worked_example.graph).
inline const char* const kWorkedExampleDump =
    "0 a://h/ 1  html main\n"
    "1 a://h/x.html 1  html main\n"
    "2 a://h/y.gif 1  image main\n"
    "2 a://h/ 0  html main\n"
    "2 a://h/d/ 0  html main\n"
    "1 a://h/d/ 1  html main\n"
    "2 a://h/d/y.gif 1  image main\n";

/// A read graph as one text: its debug dump, each node's level, each link's ends, flags and
/// extra value (when not 0), the home transform (when not the identity), and any broken
/// invariant.
inline std::string describe(const Graph& g) {
    std::string out = g.summaryAndDump() + "levels";
    for (const Node* n : g.nodes) out += " " + std::to_string(n->level);
    out += "\nlinks";
    for (const Link* l : g.links) {
        out += " " + std::to_string(l->fromNode->index) + ">" + std::to_string(l->toNode->index) +
               ":" + std::to_string(l->flags);
        if (l->extra != 0) out += ":" + std::to_string(l->extra);
    }
    out += "\n";
    const ProjTransform home = g.homeTransform(), identity = ProjTransform::identity();
    if (!std::equal(home.m, home.m + 16, identity.m)) {
        out += "home";
        char number[32];
        for (double v : home.m) out += (std::snprintf(number, sizeof number, " %.17g", v), number);
        out += "\n";
    }
    const std::string broken = checkGraphInvariants(g);
    return broken.empty() ? out : out + "broken: " + broken + "\n";
}

/// Text with escapes: \0 \t \r \n \\, and \(N:c) for N copies of the character c.
inline std::string unescaped(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        if (c == '(') {
            const size_t colon = s.find(':', i), close = s.find(')', colon + 2);
            const std::string one = unescaped(s.substr(colon + 1, close - colon - 1));
            out.append(std::stoul(std::string(s.substr(i + 1, colon - i - 1))), one.at(0));
            i = close;
        } else {
            out += c == '0' ? '\0' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        }
    }
    return out;
}

/// A case of tests/data/outline_cases.txt: "=== name | load flags", the input's lines ("@file"
/// for a file of tests/data; a line ending in \c has no line end), "---", and what the read
/// gives back ("no graph" when it fails), all with the escapes above.
struct OutlineCase {
    std::string name;
    int32_t flags = 1;
    std::string input, expected;
};

inline std::vector<OutlineCase> outlineCases() {
    std::vector<OutlineCase> cases;
    std::istringstream in(readWholeFile(dataPath("outline_cases.txt")));
    bool inExpected = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("===")) {
            const size_t bar = line.rfind(" | ");
            cases.push_back({line.substr(4, bar - 4), std::stoi(line.substr(bar + 3)), {}, {}});
            inExpected = false;
        } else if (cases.empty() || line.starts_with("#") || (inExpected && line.empty())) {
            continue;
        } else if (line == "---") {
            inExpected = true;
        } else if (inExpected) {
            cases.back().expected += unescaped(line) + "\n";
        } else if (line.starts_with("@")) {
            cases.back().input += readWholeFile(dataPath(line.substr(1)));
        } else {
            const bool open = line.ends_with("\\c");
            cases.back().input += unescaped(open ? line.substr(0, line.size() - 2) : line);
            if (!open) cases.back().input += '\n';
        }
    }
    return cases;
}

inline std::string readOutcome(const OutlineCase& c) {
    ViewerSettings settings;
    settings.loadFlags = c.flags;
    Graph g(settings);
    if (!readText(g, c.input)) return g.empty() ? "no graph\n" : "failed, yet not empty\n";
    return describe(g);
}

}  // namespace orvo::testing
