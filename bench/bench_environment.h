// What a benchmark takes from its environment, and the time it measures.
#pragma once
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

}  // namespace orvo::bench
