// A map made straight from outline text, through the column read (graph/outline_columns.h)
// instead of a Graph: the same bytes as reading the text, laying it out and writing it with
// writeMapFile, in a fraction of the memory, with what does not fit in temporary files.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <istream>
#include <string>

#include "graph/outline_columns.h"
#include "graph/read_stats.h"

namespace orvo {

struct ViewerSettings;

/// Who hears how far the work has come: the bytes read, then each step's name.
struct ColumnMapReports {
    std::function<void(uint64_t bytesRead)> read;
    std::function<void(const char* step)> step;
};

struct ColumnMapResult {
    bool anyNode = false;  // the outline held a node record (else nothing was written)
    bool stopped = false;  // `stop` was seen set; nothing was written
    bool outOfMemory = false;  // the memory ran out (error says so); nothing was written
    std::string error;     // why the map was not written, "" when it was (or held no node)
    ReadStats stats;
    uint64_t nodes = 0, links = 0;
    uint64_t spilledBytes = 0;  // id and label text that went to temporary files
};

struct NodeMeasures;

/// Every measure of every node of the columns (once their nodes and links are read); empty when
/// stopped.
NodeMeasures columnMeasures(const OutlineColumns& columns, const std::atomic<bool>* stop = nullptr);

/// Writes the map of the columns, read and complete, laid out from their root with these
/// settings, to `out` (which must be seekable), with their measures (columnMeasures, worked out
/// on the way; `step` hears "measuring"); "" or why not. The columns are spent: each is let go
/// once the sections that need it are written.
std::string writeColumnMap(OutlineColumns& columns, const ViewerSettings& settings,
                           std::FILE* out, const std::atomic<bool>* stop = nullptr,
                           const std::function<void(const char*)>& step = {});

/// Reads the outline (of sizeHint bytes, 0 when unknown) with the settings' load flags and
/// writes its map to `path`, complete or not at all.
ColumnMapResult writeColumnMapFile(std::istream& in, uint64_t sizeHint, const std::string& path,
                                   const ViewerSettings& settings, const ColumnReadLimits& limits,
                                   const ColumnMapReports& reports = {},
                                   const std::atomic<bool>* stop = nullptr);

}  // namespace orvo
