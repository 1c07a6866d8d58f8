#include "memory/memory_room.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

namespace orvo {

namespace {

constexpr uint64_t kUnknown = std::numeric_limits<uint64_t>::max();

uint64_t systemAvailable() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit)
        if (key == "MemAvailable:") return kib * 1024;
    return kUnknown;
}

uint64_t addressSpaceUsed() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    if (!(statm >> pages)) return 0;
    return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

uint64_t addressSpaceRoom() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnknown;
    const uint64_t used = addressSpaceUsed();
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

// The bound of the control group this process runs in (a container's, a service's), when the
// unified hierarchy gives one. The group's file cache counts as room: the kernel gives it back
// before it kills anything.
uint64_t controlGroupRoom() {
    std::ifstream self("/proc/self/cgroup");
    std::string line, path;
    while (std::getline(self, line))
        if (line.starts_with("0::")) path = line.substr(3);
    if (path.empty()) return kUnknown;
    const std::string folder = "/sys/fs/cgroup" + (path == "/" ? std::string() : path);
    std::ifstream maxFile(folder + "/memory.max"), currentFile(folder + "/memory.current");
    uint64_t bound = 0, current = 0;
    if (!(maxFile >> bound) || !(currentFile >> current)) return kUnknown;  // "max": no bound
    std::ifstream stat(folder + "/memory.stat");
    std::string key;
    uint64_t value = 0;
    while (stat >> key >> value) {
        if (key == "file") {
            current -= std::min(current, value);
            break;
        }
    }
    return bound > current ? bound - current : 0;
}

}  // namespace

uint64_t memoryRoomBytes() {
    return std::min({systemAvailable(), addressSpaceRoom(), controlGroupRoom()});
}

std::string memorySizeText(uint64_t bytes) {
    char text[32];
    if (bytes >= (1u << 30))
        std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1u << 30));
    else
        std::snprintf(text, sizeof text, "%.0f MiB", static_cast<double>(bytes) / (1u << 20));
    return text;
}

std::string memoryShortfall(uint64_t neededBytes, uint64_t roomBytes) {
    if (neededBytes <= roomBytes) return "";
    return "it needs about " + memorySizeText(neededBytes) + " of memory, and " +
           memorySizeText(roomBytes) +
           " are available";
}

}  // namespace orvo
