// Small helpers of the graph tests: reading a graph from text or from a file, the child ids of a
// node, the worked example's dump.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "graph/graph.h"
#include "layout/layout.h"
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

}  // namespace orvo::testing
