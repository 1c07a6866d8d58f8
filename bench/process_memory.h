// The process's own memory, read from /proc/self: its resident size and high-water mark.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace orvo::bench {

/// A "Field:  N kB" line of /proc/self/status, in KiB; 0 when it is not there.
inline int64_t statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::strtoll(line.c_str() + prefix.size(), nullptr, 10);
    return 0;
}
inline int64_t residentBytes() { return statusKiB("VmRSS") * 1024; }
inline int64_t peakResidentBytes() { return statusKiB("VmHWM") * 1024; }

/// Sets the high-water mark back to the current resident size (Linux 4.0 and later).
inline bool resetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

}  // namespace orvo::bench
