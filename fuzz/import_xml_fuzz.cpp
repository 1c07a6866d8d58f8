// libFuzzer target of the XML importers: arbitrary bytes, read as GraphML, as a sitemap and as
// the sitemap a site is checked against, must never crash or hang, and what is imported must be
// an outline the graph reader takes whole.
#include <cstdio>
#include <cstdlib>

#include "fuzz/import_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string problem = orvo::exerciseImport(orvo::FuzzedImport::Xml, data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "broken: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
