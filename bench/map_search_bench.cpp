// Find on a large map shown a region at a time: `orvo_map_search_bench MAP` opens the map for
// regions, times a few kinds of query over all its ids before the search index is built (every
// id scanned plainly) and after, the index's build and bytes, and the process's memory: the ids
// are searched where the map lies mapped, never read into memory of the process's own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/process_memory.h"
#include "graph/graph.h"
#include "graph/node_search.h"
#include "mapfile/map_region.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kShown = 20;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void printMemory() {
    std::printf("  resident %.0f MiB, peak %.0f MiB\n",
                double(orvo::bench::residentBytes()) / (1 << 20),
                double(orvo::bench::peakResidentBytes()) / (1 << 20));
}

// The best of `runs` searches, in milliseconds, and the total matched.
template <typename Search>
double bestMilliseconds(int runs, Search&& search, size_t& total) {
    double best = 1e30;
    for (int k = 0; k < runs; ++k) {
        const auto start = Clock::now();
        total = search().total;
        best = std::min(best, secondsSince(start) * 1000);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvo_map_search_bench MAP\n");
        return 2;
    }
    auto start = Clock::now();
    orvo::MapRegionSource source;
    if (const std::string why = source.open(argv[1]); !why.empty()) {
        std::fprintf(stderr, "orvo_map_search_bench: %s\n", why.c_str());
        return 1;
    }
    std::printf("open: %.3f s for %llu nodes\n", secondsSince(start),
                static_cast<unsigned long long>(source.nodeCount()));
    const orvo::IdTextSpans ids = source.idTextSpans();
    std::printf("id text %.0f MiB, %zu labels\n", double(ids.text.size()) / (1 << 20),
                ids.labels.size());
    printMemory();

    // A page name from the middle of the map, typed in part and whole; one from near its end
    // in upper case; one common letter; text no id holds; a whole id.
    const std::string middle(ids.idOf(ids.nodes / 2));
    const std::string page(orvo::shortLabelOf(middle).substr(1));
    std::string late(orvo::shortLabelOf(ids.idOf(ids.nodes - 7)).substr(1));
    for (char& c : late) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    const std::vector<std::pair<const char*, std::string>> queries{
        {"one common letter", "t"},
        {"three letters of a page", page.substr(0, 3)},
        {"a page name", page},
        {"a page name in upper case", late},
        {"no id holds it", "zzzz-none"},
        {"a whole id", middle},
    };

    orvo::NodeSearchIndex index;
    std::printf("before the index (every id scanned plainly):\n");
    for (const auto& [kind, q] : queries) {
        size_t total = 0;
        const double ms = bestMilliseconds(1, [&] { return index.search(ids, q, kShown); }, total);
        std::printf("  %-28s %9.1f ms  %zu matches\n", kind, ms, total);
    }
    start = Clock::now();
    while (index.buildSome(ids, 32768)) {
    }
    std::printf("index built: %.3f s, %.1f MiB (%.2f bytes a node)\n", secondsSince(start),
                double(index.memoryBytes()) / (1 << 20),
                double(index.memoryBytes()) / double(ids.nodes));
    std::printf("from the index (best of 3):\n");
    for (const auto& [kind, q] : queries) {
        size_t total = 0;
        const double ms = bestMilliseconds(3, [&] { return index.search(ids, q, kShown); }, total);
        std::printf("  %-28s %9.1f ms  %zu matches\n", kind, ms, total);
    }
    printMemory();
    return 0;
}
