// libFuzzer target of the graph reader: arbitrary bytes must never crash, hang or break the
// graph's invariants, under any load flags, nor may the operations run on what was read.
#include <cstdio>
#include <cstdlib>

#include "fuzz/reader_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = orvo::exerciseReader(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
