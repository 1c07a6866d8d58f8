// The time of day with millisecond resolution, the clock of the progressive frame and of picking.
#include "render/time_pair.h"

#include <sys/time.h>

namespace orvo {

TimePair currentTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return TimePair{static_cast<int64_t>(now.tv_sec),
                    static_cast<int64_t>(now.tv_usec / 1000) * 1000};
}

}  // namespace orvo
