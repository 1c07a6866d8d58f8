// The clock of the progressive frame and of picking: monotonic, so that a step of the wall clock
// can neither stretch a slice without bound nor end it early.
#include "render/time_pair.h"

#include <time.h>

namespace orvo {

TimePair currentTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return TimePair{static_cast<int64_t>(now.tv_sec),
                    static_cast<int64_t>(now.tv_nsec / 1000000) * 1000};
}

}  // namespace orvo
