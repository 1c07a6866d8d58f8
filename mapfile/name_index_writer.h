// The name index of a map, built from the map itself once it is written: both writers give the
// same bytes up to there, so one builder keeps their maps the same.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

namespace orvo {

/// Reads the ids and labels of the finished map in `out` (which must be open for reading too;
/// a stream open for writing only keeps its map as it is), and writes the name index section
/// where the section table was, then the table and the header again. "" or why not
/// (kMapWriteStopped once `stop` is seen set). The index holds its tables in memory while it is
/// built: about 9 bytes a node, and 8 a label key.
std::string appendNameIndex(std::FILE* out, const std::atomic<bool>* stop = nullptr);

}  // namespace orvo
