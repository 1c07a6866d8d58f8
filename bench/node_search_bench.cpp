// Finding a node on a 1 000 000-node generated site: the time of one keystroke (a query typed
// one character at a time, each prefix answered with the best 20 matches), by the index and by
// the plain scan for comparison; the time to build the index next to the time to read and lay
// out the file; and the index's bytes per node. Goals: a keystroke under 50 ms, the build at
// most 10 % of the load, at most 64 bytes per node.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "graph/node_search.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"
#include "tools/site_generator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t kNodes = 1000000;
constexpr size_t kShown = 20;

struct Loaded {
    orvo::ViewerSettings settings;
    orvo::Graph graph{settings};
    std::string text;
    double loadSeconds = 0;
    Loaded() {
        text = orvo::generateSiteGraph({kNodes, 1});
        std::istringstream in(text);
        const auto start = Clock::now();
        readAndLayOut(graph, in);
        loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
};

Loaded& loaded() {
    static Loaded l;
    return l;
}

orvo::NodeSearchIndex& builtIndex() {
    static orvo::NodeSearchIndex index = [] {
        orvo::NodeSearchIndex i;
        while (i.buildSome(loaded().graph, 65536)) {
        }
        return i;
    }();
    return index;
}

// What a user types: a page name from the middle of the site, one character at a time.
std::vector<std::string> keystrokes() {
    const std::string id(loaded().graph.nodes[kNodes / 2]->id);
    const std::string word = std::string(orvo::shortLabelOf(id).substr(1));
    std::vector<std::string> prefixes;
    for (size_t n = 1; n <= word.size(); ++n) prefixes.push_back(word.substr(0, n));
    return prefixes;
}

void BM_KeystrokeIndex(benchmark::State& state) {
    const orvo::Graph& g = loaded().graph;
    const orvo::NodeSearchIndex& index = builtIndex();
    const std::vector<std::string> typed = keystrokes();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.search(g, typed[k], kShown));
        k = (k + 1) % typed.size();
    }
    state.counters["bytes_per_node"] =
        static_cast<double>(index.memoryBytes()) / static_cast<double>(g.nodes.size());
}
BENCHMARK(BM_KeystrokeIndex)->Unit(benchmark::kMillisecond);

void BM_KeystrokePlainScan(benchmark::State& state) {
    const orvo::Graph& g = loaded().graph;
    const std::vector<std::string> typed = keystrokes();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(orvo::plainSearch(g, typed[k], kShown));
        k = (k + 1) % typed.size();
    }
}
BENCHMARK(BM_KeystrokePlainScan)->Unit(benchmark::kMillisecond);

// The worst single keystroke: one character that matches nearly every id.
void BM_KeystrokeOneCommonLetter(benchmark::State& state) {
    const orvo::Graph& g = loaded().graph;
    const orvo::NodeSearchIndex& index = builtIndex();
    for (auto _ : state) benchmark::DoNotOptimize(index.search(g, "t", kShown));
}
BENCHMARK(BM_KeystrokeOneCommonLetter)->Unit(benchmark::kMillisecond);

void BM_BuildIndex(benchmark::State& state) {
    const orvo::Graph& g = loaded().graph;
    for (auto _ : state) {
        orvo::NodeSearchIndex index;
        while (index.buildSome(g, 65536)) {
        }
        benchmark::DoNotOptimize(index.indexed());
    }
    state.counters["load_seconds"] = loaded().loadSeconds;
}
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
