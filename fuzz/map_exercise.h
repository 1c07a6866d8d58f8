// One round of the map reader's fuzz target, shared with the test that replays its corpus and
// saved crash inputs: read the bytes as a map; what is read must keep the graph's invariants,
// and come back the same, with the measures it carried, through a map written of it and through
// the map packed and unpacked. Bytes that start as a packed map are unpacked first (a page's
// data), and what they unpack to goes the same round. (Extreme radii and spacings may place
// nodes beyond what a double holds, as extreme outlines may.)
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/node_measures.h"
#include "mapfile/map_pack.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_region.h"
#include "mapfile/map_writer.h"
#include "tests/graph_invariants.h"

namespace orvo {

inline std::string exerciseMapRead(const uint8_t* data, size_t size);

/// The regions of an open source: whatever the map holds, a region is built or refused, and a
/// region keeps the graph's invariants.
inline std::string exerciseRegionsOf(const MapRegionSource& source) {
    ViewerSettings settings;
    applyWindowInitialisation(settings);
    for (const uint64_t budget : {uint64_t{8}, source.nodeCount()}) {
        Graph g(settings);
        MapRegion region;
        if (!source.buildRegion(source.homeNode(), budget, g, region).empty()) continue;
        if (region.mapIndex.size() != g.nodes.size() || region.measures.size() != g.nodes.size())
            return "the region's indices or measures";
        if (std::string broken = checkGraphInvariants(g); !broken.empty())
            return "a region: " + broken;
    }
    // Names: a node's id leads to a node of that id (a damaged name index may have lost it), and
    // what the name index finds are nodes of the map.
    const std::string home(source.idOf(source.homeNode()));
    if (const int64_t found = source.findNode(home);
        !home.empty() && (found < 0 ? !source.hasNameIndex()
                                    : source.idOf(static_cast<uint32_t>(found)) != home))
        return "the home node's id";
    const IdTextSpans ids = source.idTextSpans();
    for (const std::string_view q : {std::string_view(home), std::string_view("a"), std::string_view("/")})
        if (const std::optional<IndexedFind> f = source.findByNames(ids, q, 5))
            for (const SearchHit& hit : f->result.hits)
                if (hit.node < 0 || uint64_t(hit.node) >= source.nodeCount()) return "a name's node";
    MapTreeShape shape;
    if (source.treeShape(shape).empty() &&
        (shape.depth >= source.nodeCount() || shape.widestFanOut >= source.nodeCount()))
        return "the tree's shape";
    source.check();
    return "";
}

/// The bytes opened as a map of regions, through a file in memory and held in memory as a page
/// holds a map (where a map without measures has them worked out). (Whether a region is placed
/// as the whole map is, the tests hold on sound maps: a damaged one may place it otherwise, by
/// the subtree sizes it carries.)
inline std::string exerciseMapRegions(const uint8_t* data, size_t size) {
    MapRegionSource held;
    if (held.openBytes(data, size).empty()) {
        held.workOutLinkScores();
        if (std::string problem = exerciseRegionsOf(held); !problem.empty())
            return "held in memory: " + problem;
    }
    const int fd = ::memfd_create("map", MFD_CLOEXEC);
    if (fd < 0) return "";
    const bool written = ::write(fd, data, size) == static_cast<ssize_t>(size);
    std::string problem;
    MapRegionSource source;
    if (written && source.open("/proc/self/fd/" + std::to_string(fd)).empty())
        problem = exerciseRegionsOf(source);
    ::close(fd);
    return problem;
}

/// Empty when everything held; otherwise what broke.
inline std::string exerciseMapReader(const uint8_t* data, size_t size) {
    if (size >= sizeof kMapPackMagic &&
        std::memcmp(data, kMapPackMagic, sizeof kMapPackMagic) == 0) {
        std::string map;
        if (!unpackMap(data, size, map).empty()) return "";
        return exerciseMapRead(reinterpret_cast<const uint8_t*>(map.data()), map.size());
    }
    return exerciseMapRead(data, size);
}

inline std::string exerciseMapRead(const uint8_t* data, size_t size) {
    ViewerSettings settings;
    applyWindowInitialisation(settings);
    Graph g(settings);
    NodeMeasures measures;
    const std::string why = readMapBytes(data, size, g, &measures);
    if (why.empty() == g.empty()) return "the result does not match the graph";
    if (std::string problem = exerciseMapRegions(data, size); !problem.empty()) return problem;
    if (!measures.empty() && measures.size() != g.nodes.size())
        return "the measures do not match the graph";
    if (!why.empty()) return "";
    if (std::string problem = checkGraphInvariants(g); !problem.empty()) return problem;
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return "";
    std::string again = writeMap(g, *layoutStartOf(g), settings, file, &measures);
    std::string bytes;
    if (again.empty()) {
        std::fseek(file, 0, SEEK_END);
        bytes.resize(static_cast<size_t>(std::ftell(file)));
        std::rewind(file);
        if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) again = "short read";
    }
    std::fclose(file);
    if (!again.empty()) return "the map read cannot be written again: " + again;
    Graph back(settings);
    NodeMeasures measuresBack;
    again = readMapBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), back,
                         &measuresBack);
    if (!again.empty()) return "the map written of it cannot be read: " + again;
    if (back.summaryAndDump() != g.summaryAndDump()) return "the map written of it differs";
    if (measuresBack.depth != measures.depth || measuresBack.linksIn != measures.linksIn ||
        measuresBack.linksOut != measures.linksOut || measuresBack.subtree != measures.subtree ||
        measuresBack.score != measures.score || measuresBack.scoreRounds != measures.scoreRounds)
        return "the measures written of it differ";
    std::string pack, unpacked;
    if (std::string why = packMap(data, size, pack, true); !why.empty())
        return "the map read cannot be packed: " + why;
    if (std::string why =
            unpackMap(reinterpret_cast<const unsigned char*>(pack.data()), pack.size(), unpacked);
        !why.empty())
        return "its pack cannot be unpacked: " + why;
    Graph fromPack(settings);
    NodeMeasures measuresFromPack;
    again = readMapBytes(reinterpret_cast<const unsigned char*>(unpacked.data()), unpacked.size(),
                         fromPack, &measuresFromPack);
    if (!again.empty()) return "the map unpacked cannot be read: " + again;
    if (fromPack.summaryAndDump() != g.summaryAndDump() || measuresFromPack.score != measures.score)
        return "the map unpacked differs";
    return "";
}

}  // namespace orvo
