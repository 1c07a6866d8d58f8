// The Links panel's rows of a node with a million links in (ORVO_BENCH_LINKS sets another
// count): listing them, sorting them by link score and by name, and a filter over them. The
// panel's list is virtual, so these are what a user waits for; the goal is well under a second
// for listing and for a filter, a sort a little more.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "bench/bench_environment.h"
#include "glue/links_list.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/node_measures.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t benchLinks() { return orvo::bench::countFromEnvironment("ORVO_BENCH_LINKS", 1000000); }

using orvo::bench::secondsSince;

void BM_LinksOfAHub(benchmark::State& state) {
    orvo::ViewerSettings settings;
    orvo::applyWindowInitialisation(settings);
    orvo::Graph graph(settings);
    {
        // Every page under the top links to the hub: each repeat of the hub's id under a page
        // is a link from it.
        std::string text = "0 a://h/ 0 html main\n1 a://h/hub.html 0 html main\n";
        const int64_t links = benchLinks();
        text.reserve(static_cast<size_t>(links) * 48);
        for (int64_t i = 0; i < links; ++i)
            text += "1 a://h/p" + std::to_string(i) +
                    ".html 0 html main\n2 a://h/hub.html 0 html main\n";
        std::istringstream in(text);
        if (!graph.reload(in)) {
            state.SkipWithError("the graph did not load");
            return;
        }
    }
    const orvo::NodeMeasures measures = orvo::computeNodeMeasures(graph, nullptr, 2);
    const orvo::Node& hub = *graph.findNode("a://h/hub.html");
    double list = 1e300, byScore = 1e300, byName = 1e300, filter = 1e300;
    size_t rows = 0, kept = 0;
    for (auto _ : state) {
        orvo::LinksList links;
        auto start = Clock::now();
        links.list(graph, hub, &measures);
        list = std::min(list, secondsSince(start));
        rows = links.size();
        start = Clock::now();
        links.sortBy(orvo::LinksColumn::Score, false);
        byScore = std::min(byScore, secondsSince(start));
        start = Clock::now();
        links.sortBy(orvo::LinksColumn::Name, true);
        byName = std::min(byName, secondsSince(start));
        start = Clock::now();
        links.setFilter("P12345");
        filter = std::min(filter, secondsSince(start));
        kept = links.size();
        benchmark::DoNotOptimize(links.row(0));
    }
    state.counters["rows"] = double(rows);
    std::printf(
        "links of a node with %zu links in: listed in %.3f s, sorted by score in %.3f s, "
        "by name in %.3f s, filtered to %zu in %.3f s\n",
        rows, list, byScore, byName, kept, filter);
}
BENCHMARK(BM_LinksOfAHub)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
