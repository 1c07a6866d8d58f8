// The rig of the graph tests: reading a graph from text or from a file, what a read gives back
// as one comparable text, and the outline cases of tests/data.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

/// Text with escapes: \0 \t \r \n \\, \xHH for a byte, and \(N:c) for N copies of the character c.
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
        } else if (c == 'x' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += c == '0' ? '\0' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        }
    }
    return out;
}

/// The inverse of unescaped(): bytes that are not printable ASCII, and the backslash, escaped.
inline std::string escaped(std::string_view s) {
    std::string out;
    for (const char c : s) {
        const auto byte = static_cast<unsigned char>(c);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        out += c == '\\' ? "\\\\" : byte < 0x20 || byte > 0x7E ? hex : std::string(1, c);
    }
    return out;
}

/// The fields of a table row, " | " apart.
inline Strings fields(const std::string& row) {
    Strings out;
    for (size_t at = 0, bar;; at = bar + 3) {
        bar = row.find(" | ", at);
        out.push_back(row.substr(at, bar - at));
        if (bar == std::string::npos) return out;
    }
}

/// Checks each line "QUESTION => ANSWER" of tests/data/NAME (other lines are comments): ANSWER
/// must be what `answer` gives for QUESTION, both with the escapes above. ORVO_WRITE_GOLDEN=1
/// rewrites the answers instead, and fails.
template <class Answer>
::testing::AssertionResult answersMatch(const std::string& name, Answer answer) {
    std::istringstream in(readWholeFile(dataPath(name)));
    std::string all, wrong;
    int asked = 0;
    for (std::string line; std::getline(in, line);) {
        const size_t arrow = line.find(" => ");
        if (arrow != std::string::npos && !line.starts_with('#') && ++asked) {
            const std::string got = line.substr(0, arrow + 4) +
                                    escaped(std::string(answer(unescaped(line.substr(0, arrow)))));
            if (got != line) wrong += "\n  " + got;
            line = got;
        }
        all += line + "\n";
    }
    if (const char* update = std::getenv("ORVO_WRITE_GOLDEN"); update && *update == '1') {
        writeWholeFile(dataPath(name), all);
        return ::testing::AssertionFailure() << "wrote " << dataPath(name);
    }
    if (asked == 0) return ::testing::AssertionFailure() << "no question in " << dataPath(name);
    if (wrong.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << " answers otherwise:" << wrong;
}

/// A case of a case file of tests/data such as outline_cases.txt: "=== name | arguments", the
/// input's lines ("@file" for a file of tests/data; a line ending in \c has no line end), "---",
/// and what is expected (again "@file" for a file), all with the escapes above.
struct OutlineCase {
    std::string name, arguments;
    std::string input, expected;
};

inline std::vector<OutlineCase> outlineCases(const std::string& file = "outline_cases.txt") {
    std::vector<OutlineCase> cases;
    std::istringstream in(readWholeFile(dataPath(file)));
    bool inExpected = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("===")) {
            const size_t bar = line.rfind(" | ");
            cases.push_back({line.substr(4, bar - 4), line.substr(bar + 3), {}, {}});
            inExpected = false;
        } else if (cases.empty() || line.starts_with("#") || (inExpected && line.empty())) {
            continue;
        } else if (line == "---") {
            inExpected = true;
        } else if (inExpected) {
            cases.back().expected += line.starts_with("@") ? readWholeFile(dataPath(line.substr(1)))
                                                           : unescaped(line) + "\n";
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
    settings.loadFlags = std::stoi(c.arguments);
    Graph g(settings);
    if (!readText(g, c.input)) return g.empty() ? "no graph\n" : "failed, yet not empty\n";
    return describe(g);
}

}  // namespace orvo::testing
