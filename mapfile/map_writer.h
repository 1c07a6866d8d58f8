// Writing a laid-out graph as a map file.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

namespace orvo {

class Graph;
struct Node;
struct NodeMeasures;
struct ViewerSettings;

/// The node the graph's layout started from (the one placed at the origin of its own frame);
/// the root when the graph has not been laid out.
const Node* layoutStartOf(const Graph& graph);

/// Writes the graph, laid out from `start` with these settings, as a map to `out`, which must
/// be a file that can be sought back to its start (the header, written last, holds the section
/// table's place and checksum). The graph's measures go with it when `measures` holds those of
/// every node. "" or why not: kMapWriteStopped once `stop`, when given, is seen set (it is
/// looked at after each megabyte).
std::string writeMap(const Graph& graph, const Node& start, const ViewerSettings& settings,
                     std::FILE* out, const NodeMeasures* measures = nullptr,
                     const std::atomic<bool>* stop = nullptr);
inline constexpr const char* kMapWriteStopped = "the writing was stopped";

/// writeMap to `path`, complete or not at all; "" or why not (naming the path).
std::string writeMapFile(const std::string& path, const Graph& graph,
                         const ViewerSettings& settings, const NodeMeasures* measures = nullptr,
                         const std::atomic<bool>* stop = nullptr);

}  // namespace orvo
