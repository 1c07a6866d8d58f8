// How long a large map takes to open for regions and to give a region, and the memory it holds:
// `orvo_map_region_bench MAP [NODES[/LISTS]...]` prints the open, then a region of each size around the
// home node, then the check of the map's large sections, each with the process's resident and
// peak memory.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/process_memory.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "mapfile/map_region.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The processor time of the process so far (user and system): what a step costs on a machine
// busy with other work, whose wall time says little.
double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void printMemory() {
    std::printf("  resident %.0f MiB (%.0f MiB of it the process's own, the rest the map's pages), "
                "peak %.0f MiB\n",
                double(orvo::bench::residentBytes()) / (1 << 20),
                double(orvo::bench::statusKiB("RssAnon")) / 1024,
                double(orvo::bench::peakResidentBytes()) / (1 << 20));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvo_map_region_bench MAP [NODES[/LISTS]...]\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    orvo::MapRegionSource source;
    if (const std::string why = source.open(argv[1]); !why.empty()) {
        std::fprintf(stderr, "orvo_map_region_bench: %s\n", why.c_str());
        return 1;
    }
    std::printf("open: %.3f s for %llu nodes%s\n", secondsSince(start),
                static_cast<unsigned long long>(source.nodeCount()),
                source.hasFirstReads() ? ", with its first reads" : "");
    printMemory();
    orvo::ViewerSettings settings;
    orvo::applyWindowInitialisation(settings);
    for (int i = 2; i < argc; ++i) {
        // NODES or NODES/LISTS: LISTS bounds the lists of links read, as the window's first
        // region does (64).
        char* rest = nullptr;
        const auto budget = std::strtoull(argv[i], &rest, 10);
        const uint32_t lists = *rest == '/' ? uint32_t(std::strtoul(rest + 1, nullptr, 10)) : 4096;
        orvo::Graph graph(settings);
        orvo::MapRegion region;
        start = std::chrono::steady_clock::now();
        const double processor = processorSeconds();
        if (const std::string why = source.buildRegion(source.homeNode(), budget, graph, region, lists);
            !why.empty()) {
            std::fprintf(stderr, "orvo_map_region_bench: %s\n", why.c_str());
            return 1;
        }
        std::printf("region of %zu nodes (reach %u): %.3f s (processor %.3f s), %llu blocks "
                    "read\n",
                    graph.nodes.size(), region.reach, secondsSince(start),
                    processorSeconds() - processor,
                    static_cast<unsigned long long>(region.blocksRead));
        printMemory();
    }
    start = std::chrono::steady_clock::now();
    const double processor = processorSeconds();
    const std::string problem = source.check();
    std::printf("check of the large sections: %.3f s (processor %.3f s)%s%s\n",
                secondsSince(start), processorSeconds() - processor, problem.empty() ? "" : ": ",
                problem.c_str());
    printMemory();
    return 0;
}
