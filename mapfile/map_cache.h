// The maps of the outlines the window has opened, kept in a cache folder so that opening an
// unchanged outline again is as quick as opening its map. Each is named after a hash of the
// outline's path, size and modification time and of the load settings; the least recently used
// go first when the folder grows past its bound.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "mapfile/map_reader.h"

namespace orvo {

class Graph;
struct NodeMeasures;
struct ViewerSettings;

class MapCache {
public:
    /// Keeps its maps in `folder` (made when the first is stored), at most `limitBytes` of them.
    MapCache(std::string folder, uint64_t limitBytes)
        : folder_(std::move(folder)), limit_(limitBytes) {}

    /// `$XDG_CACHE_HOME/orvo`, or `$HOME/.cache/orvo`; "" when neither is set.
    static std::string defaultFolder(const char* xdgCacheHome, const char* home);
    static constexpr uint64_t kDefaultLimitBytes = uint64_t{2} << 30;

    /// Where the map of the outline at `path`, read with these settings, is kept; "" when the
    /// outline is no regular file.
    std::string mapPathFor(const std::string& path, const ViewerSettings& settings) const;
    /// Reads the kept map into the graph (and the measures it carries into `measures`, when
    /// given), marking it used; false (the graph empty) when there is none or it cannot be read
    /// (a damaged one is removed). `progress` hears how far the reading has come and may stop it.
    /// Marks the kept map used now (read otherwise than by read()), so that it goes last.
    void markUsed(const std::string& mapPath) const;
    bool read(const std::string& mapPath, Graph& graph, NodeMeasures* measures = nullptr,
              const MapReadProgress& progress = {}) const;
    /// Writes the graph's map, laid out with these settings, there, with its measures when
    /// given, then removes the least recently used maps past the bound; "" or why not. A write
    /// that sees `stop` set leaves no file behind.
    std::string store(const std::string& mapPath, const Graph& graph,
                      const ViewerSettings& settings, const NodeMeasures* measures = nullptr,
                      const std::atomic<bool>* stop = nullptr) const;

    const std::string& folder() const { return folder_; }

private:
    void trim() const;

    std::string folder_;
    uint64_t limit_;
};

}  // namespace orvo
