// libFuzzer target of the map reader: arbitrary bytes must never crash or hang it, and whatever
// it accepts must be a sound graph that a map written of it gives back.
#include <cstdio>
#include <cstdlib>

#include "fuzz/map_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = orvo::exerciseMapReader(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
