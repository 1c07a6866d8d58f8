// The laid-out position of every node as CSV: header "index,id,x,y,z", one row per node in index
// order, coordinates printed with %.17g so that they read back exactly.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace orvo {

class Graph;

/// Appends the field, quoted (with inner quotes doubled) when it holds a comma, a quote or a
/// line break.
void appendCsvField(std::string& out, std::string_view field);

/// Writes the whole table; false when the stream reported an error.
bool writePositionsCsv(std::FILE* out, const Graph& graph);

/// Writes the whole table to a file that is complete or not there at all; false with a
/// one-line reason in error (the old file, if any, then stays as it was).
bool writePositionsCsvFile(const std::string& path, const Graph& graph, std::string& error);

}  // namespace orvo
