// libFuzzer target of the column path to a map: for arbitrary outline bytes, the map written
// from columns must be the map a Graph read, layout and writeMap give, byte for byte, or both
// must refuse. The first byte picks the load flags and whether every id and label byte goes to
// the temporary file.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "graph/graph.h"
#include "graph/node_measures.h"
#include "layout/layout.h"
#include "mapfile/column_map.h"
#include "mapfile/map_writer.h"
#include "settings/viewer_settings.h"

namespace {

std::string bytesOf(std::FILE* file) {
    std::string bytes;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        bytes.resize(static_cast<size_t>(std::ftell(file)));
        std::rewind(file);
        if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes = "unread";
    }
    std::fclose(file);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    orvo::ViewerSettings settings;
    settings.loadFlags = data[0] & 0x3f;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::string expected = "no node";
    {
        orvo::Graph graph(settings);
        std::istringstream in(text);
        if (orvo::readAndLayOut(graph, in)) {
            const orvo::NodeMeasures measures = orvo::computeNodeMeasures(graph, nullptr, 2);
            std::FILE* file = std::tmpfile();
            const std::string why =
                orvo::writeMap(graph, *orvo::layoutStartOf(graph), settings, file, &measures);
            expected = why.empty() ? bytesOf(file) : (std::fclose(file), "failed: " + why);
        }
    }
    std::string got = "no node";
    {
        orvo::ColumnReadLimits limits;
        limits.spillDirectory = "/tmp";
        if (data[0] & 0x40) limits.textMemoryBytes = 0;
        orvo::OutlineColumns columns(limits);
        std::istringstream in(text);
        if (columns.read(in, settings.loadFlags)) {
            std::FILE* file = std::tmpfile();
            const std::string why = orvo::writeColumnMap(columns, settings, file);
            got = why.empty() ? bytesOf(file) : (std::fclose(file), "failed: " + why);
        } else if (!columns.error().empty()) {
            got = columns.error();
        }
    }
    if (got != expected) {
        std::fprintf(stderr, "the column map differs: %zu bytes against %zu\n", got.size(),
                     expected.size());
        std::abort();
    }
    return 0;
}
