// Reading a map file back into a graph, laid out as it was when the map was written. Every
// count, offset and index is checked before use: a damaged, cut or foreign file gets a reason,
// never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orvo {

class Graph;
struct NodeMeasures;

/// Hears how far a map's reading has come (`done` of `total` steps, a few per node and link)
/// now and then, and at its end; returning false stops it, and the read fails with
/// kMapReadCancelled.
using MapReadProgress = std::function<bool(uint64_t done, uint64_t total)>;
inline constexpr const char* kMapReadCancelled = "the reading was cancelled";

/// Whether these bytes begin with a map's magic.
bool startsLikeMap(const unsigned char* data, size_t size);
/// Whether the file at `path` begins with a map's magic (false when it cannot be read).
bool isMapFile(const std::string& path);

/// Reads a whole map held in memory into the graph, which is emptied first and keeps its hidden
/// groups and colours; the graph comes out laid out. "" or why not (a sentence without the
/// file's name); on failure the graph is left empty. `measures`, when given, gets the measures
/// the map carries, and is left empty when it carries none (a map from before they were kept).
std::string readMapBytes(const unsigned char* data, size_t size, Graph& graph,
                         NodeMeasures* measures = nullptr, const MapReadProgress& progress = {});

/// Maps the file read-only and reads it (readMapBytes); "" or why not (a sentence without the
/// file's name, for the caller to name it).
std::string readMapFile(const std::string& path, Graph& graph, NodeMeasures* measures = nullptr,
                        const MapReadProgress& progress = {});

}  // namespace orvo
