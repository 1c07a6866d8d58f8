#include "tools/outline_map.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "glue/window_settings.h"
#include "mapfile/map_writer.h"

namespace orvo {

bool layOutForMap(std::istream& in, OutlineMap& map, const LoadReports& reports) {
    applyWindowInitialisation(map.settings);
    if (!readAndLayOut(map.graph, in, reports)) return false;
    map.measures = computeNodeMeasures(map.graph, nullptr, 2);
    return true;
}

bool layOutForMap(std::string text, OutlineMap& map) {
    std::istringstream in(std::move(text));
    return layOutForMap(in, map);
}

std::string mapBytesOf(const OutlineMap& map, std::string& bytes) {
    // The writer seeks back to its start for the header: an unnamed temporary file, gone at
    // its close whatever happens.
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return std::string("cannot make a temporary file: ") + std::strerror(errno);
    const Node* start = layoutStartOf(map.graph);
    std::string why = start == nullptr ? "the graph holds no node"
                                       : writeMap(map.graph, *start, map.settings, file, &map.measures);
    if (why.empty()) {
        // The writer ends just after the header, which it wrote last.
        const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
        bytes.resize(size > 0 ? size_t(size) : 0);
        std::rewind(file);
        if (size <= 0 || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
            why = "cannot read the temporary map back";
    }
    std::fclose(file);
    return why;
}

}  // namespace orvo
