// Inputs that are not graph files (a web site's folder, any directory, a sitemap, an edge list, a
// DOT or GraphML file) reach the viewer through a converter that writes them as outline text in
// memory, which the graph reader reads as it comes, as it reads a file (the converter runs on a
// thread of its own meanwhile). The glue knows only this shape; the program hands it the
// importers, so the glue stays free of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace orvo {

/// The parts of one load, in the order they run.
enum class LoadStage { Import, Read, Layout };

/// How a conversion ended.
struct ConversionResult {
    bool ok = false;
    bool cancelled = false;
    std::string error;                  // why it failed, naming the input and the place in it
    std::vector<std::string> warnings;  // what was left out, and the like
};

/// Work done so far and the total (0 when not known).
using ConversionProgress = std::function<void(uint64_t done, uint64_t total)>;

struct InputConverter {
    /// True for an input this converter reads; every other input is read as a graph file.
    std::function<bool(const std::string& input)> accepts;
    /// Writes the input as outline text to `out`; stops soon after *cancel turns true (cancel
    /// may be null).
    std::function<ConversionResult(const std::string& input, std::ostream& out,
                                   const ConversionProgress& progress,
                                   const std::atomic<bool>* cancel)>
        convert;

    explicit operator bool() const { return accepts && convert; }
};

}  // namespace orvo
