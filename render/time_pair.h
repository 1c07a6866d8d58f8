// Time as (whole seconds, microseconds) with millisecond resolution, as the progressive frame
// measures its slices.
#pragma once

#include <cstdint>

namespace orvo {

struct TimePair {
    int64_t sec = 0;
    int64_t usec = 0;
};

/// Seconds first, then microseconds.
inline bool operator<(const TimePair& a, const TimePair& b) {
    return a.sec < b.sec || (a.sec == b.sec && a.usec < b.usec);
}
inline bool operator>=(const TimePair& a, const TimePair& b) { return !(a < b); }

/// a - b, borrowing one second when the microseconds would go negative.
inline TimePair operator-(const TimePair& a, const TimePair& b) {
    TimePair d{a.sec - b.sec, a.usec - b.usec};
    if (d.usec < 0) {
        d.usec += 1000000;
        d.sec -= 1;
    }
    return d;
}

/// The time of a monotonic clock (it never steps with the time of day), millisecond resolution
/// (usec = ms * 1000).
TimePair currentTime();

}  // namespace orvo
