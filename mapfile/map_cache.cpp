// The map cache: one file per outline and settings, named by a hash; file modification times
// record use, so that the folder is trimmed oldest first.
#include "mapfile/map_cache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "graph/graph.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_writer.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace fs = std::filesystem;

std::string MapCache::defaultFolder(const char* xdgCacheHome, const char* home) {
    if (xdgCacheHome != nullptr && xdgCacheHome[0] == '/')
        return std::string(xdgCacheHome) + "/orvo";
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache/orvo";
    return "";
}

std::string MapCache::mapPathFor(const std::string& path, const ViewerSettings& settings) const {
    struct stat info {};
    if (folder_.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
    std::error_code error;
    const fs::path absolute = fs::weakly_canonical(fs::absolute(path, error), error);
    if (error) return "";
    // Everything that decides what the map holds: the file as it is now, and what the reader
    // and the layout are told.
    char numbers[256];
    std::snprintf(numbers, sizeof numbers, "|%jd|%jd.%09ld|%" PRId32 "|%a|%a|%a",
                  static_cast<intmax_t>(info.st_size), static_cast<intmax_t>(info.st_mtim.tv_sec),
                  info.st_mtim.tv_nsec, settings.loadFlags, double{settings.childSpacing},
                  double{settings.minRadius}, double{settings.maxRadius});
    const std::string key = absolute.string() + numbers;
    char name[40];
    std::snprintf(name, sizeof name, "%016" PRIx64 ".orvomap", XXH3_64bits(key.data(), key.size()));
    return folder_ + "/" + name;
}

bool MapCache::read(const std::string& mapPath, Graph& graph, NodeMeasures* measures,
                    const MapReadProgress& progress) const {
    std::error_code error;
    if (mapPath.empty() || !fs::is_regular_file(mapPath, error)) return false;
    if (const std::string why = readMapFile(mapPath, graph, measures, progress); !why.empty()) {
        if (why != kMapReadCancelled) fs::remove(mapPath, error);  // a cancelled read is no fault
        return false;
    }
    markUsed(mapPath);
    return true;
}

void MapCache::markUsed(const std::string& mapPath) const {
    std::error_code error;
    fs::last_write_time(mapPath, fs::file_time_type::clock::now(), error);
}

std::string MapCache::store(const std::string& mapPath, const Graph& graph,
                            const ViewerSettings& settings, const NodeMeasures* measures,
                            const std::atomic<bool>* stop) const {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) return "cannot make \"" + folder_ + "\": " + error.message();
    if (std::string why = writeMapFile(mapPath, graph, settings, measures, stop); !why.empty())
        return why;
    trim();
    return "";
}

void MapCache::trim() const {
    struct Kept {
        fs::path path;
        fs::file_time_type used;
        uint64_t bytes;
    };
    std::vector<Kept> kept;
    uint64_t total = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() != ".orvomap" || !it->is_regular_file(error)) continue;
        const uint64_t bytes = it->file_size(error);
        const fs::file_time_type used = it->last_write_time(error);
        if (error) continue;
        kept.push_back({it->path(), used, bytes});
        total += bytes;
    }
    std::sort(kept.begin(), kept.end(),
              [](const Kept& a, const Kept& b) { return a.used < b.used; });
    for (const Kept& k : kept) {
        if (total <= limit_) break;
        if (fs::remove(k.path, error)) total -= k.bytes;
    }
}

}  // namespace orvo
