// libFuzzer target of the GML importer: arbitrary bytes, read with the groups found and with a
// group key named, must never crash or hang (lists nested without end included), and what is
// imported must be an outline the graph reader takes whole.
#include <cstdio>
#include <cstdlib>

#include "fuzz/import_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = orvo::exerciseImport(orvo::FuzzedImport::Gml, data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
