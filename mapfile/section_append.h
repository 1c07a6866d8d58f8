// Adding a section to a map once it is written: the table and header are read back from the
// file, the section goes where the table was, and a table and header naming it follow. What is
// built from a finished map (its name index, its first reads) needs nothing of the writer that
// wrote it, so every writer's maps get the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mapfile/section_sink.h"

namespace orvo {

struct MapLayout {
    std::vector<SectionEntry> entries;
    uint64_t tableAt = 0;
    uint64_t nodes = 0;  // the meta section's count
    const SectionEntry* of(MapSection kind) const {
        for (const SectionEntry& e : entries)
            if (e.kind == kind) return &e;
        return nullptr;
    }
};

/// Reads `bytes` at `at` of the file open as `fd`; false when they are not all there.
bool readFileAt(int fd, void* to, size_t bytes, uint64_t at);

/// The header, table and node count of the map written to the file open as `fd`; false when
/// they cannot be read or are not a table the writers write.
bool readMapLayout(int fd, MapLayout& layout);

/// Writes the section where the map's table was, then the table with its entry and the header;
/// "" or why not.
std::string appendSection(std::FILE* out, const MapLayout& layout, MapSection kind,
                          const std::vector<unsigned char>& section);

}  // namespace orvo
