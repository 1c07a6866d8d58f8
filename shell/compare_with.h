// File > Compare With...: the graph on view held against another version of it, read as the
// viewer opens any input.
#pragma once

#include <string>

namespace orvo {

class Graph;

struct ComparedView {
    std::string error;    // why the other input could not be read; empty on success
    std::string outline;  // the graph on view with the removed nodes, grouped (kind 1)
    std::string legend;   // the status bar's key to the groups' colours, with their counts
};

/// Compares `otherInput` (the older version) with the graph on view (the newer).
ComparedView compareWithInput(const Graph& onView, const std::string& otherInput);

}  // namespace orvo
