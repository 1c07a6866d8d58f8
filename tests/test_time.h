// Time in the tests. Every budget, limit, wait and cap a test uses is scaled by
// ORVO_TEST_TIME_SCALE (default 1): with 10 the suite shows that no test depends on how fast the
// machine is. Waits poll for their condition; the cap only ends a wait that failed.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace orvo::testing {

/// The factor every time a test uses is multiplied by; 1 when the variable is unset or not a
/// positive number.
inline double timeScale() {
    const char* text = std::getenv("ORVO_TEST_TIME_SCALE");
    const double value = text != nullptr ? std::strtod(text, nullptr) : 1.0;
    return std::isfinite(value) && value > 0.0 ? value : 1.0;
}

inline std::chrono::milliseconds scaled(std::chrono::milliseconds d) {
    return std::chrono::milliseconds(std::llround(static_cast<double>(d.count()) * timeScale()));
}

/// Sets a (seconds, microseconds) budget of the settings to `micros` microseconds, scaled.
inline void setBudget(int32_t& sec, int32_t& usec, int64_t micros) {
    const int64_t total = std::llround(static_cast<double>(micros) * timeScale());
    sec = static_cast<int32_t>(total / 1000000);
    usec = static_cast<int32_t>(total % 1000000);
}

inline void scaleBudget(int32_t& sec, int32_t& usec) {
    setBudget(sec, usec, static_cast<int64_t>(sec) * 1000000 + usec);
}

/// Polls `done`, running `between` in the pauses (by default a 10 ms sleep), until it holds or
/// the scaled `cap` has passed; returns whether it held.
template <class Condition, class Pause>
bool waitUntil(Condition done, std::chrono::milliseconds cap, Pause between) {
    const auto end = std::chrono::steady_clock::now() + scaled(cap);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        between();
    }
    return true;
}

template <class Condition>
bool waitUntil(Condition done, std::chrono::milliseconds cap) {
    return waitUntil(done, cap, [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
}

}  // namespace orvo::testing
