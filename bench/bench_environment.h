// What a benchmark takes from its environment, and the time it measures.
#pragma once
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>

namespace orvo::bench {

/// The count the environment variable `name` holds when it is a positive number, else `fallback`.
inline int64_t countFromEnvironment(const char* name, int64_t fallback) {
    const char* text = std::getenv(name);
    const long long value = text != nullptr ? std::atoll(text) : 0;
    return value > 0 ? static_cast<int64_t>(value) : fallback;
}

/// Seconds from `start` to now.
inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The process's processor time (user and system, all its threads), which a loaded machine
/// inflates far less than the time on the clock.
inline double processorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

}  // namespace orvo::bench
