// The first time slice after opening a graph against the fresh slices drawn later: a generated
// site of 10 000 and 1 000 000 nodes is opened as the window opens it (the glue on an offscreen
// surface of 800 x 600), in a fresh process each time, and the nodes drawn by the first frame's
// slice are set against those of the five fresh frames drawn after it (their median). The goal:
// the first slice draws at least half as many nodes as a later one. The load's time is reported
// with it, since whatever the first slice no longer prepares is prepared there.
// ORVO_BENCH_LARGE_NODES sets another size for the large site, such as 10000000 (about 6 GB).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_environment.h"
#include "bench/fresh_process.h"
#include "glue/glue.h"
#include "platform/draw_process.h"
#include "platform/offscreen_surface.h"
#include "tools/site_generator.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 800, kHeight = 600;
constexpr int kLaterFrames = 5;

int64_t largeNodes() {
    return orvo::bench::countFromEnvironment("ORVO_BENCH_LARGE_NODES", 1000000);
}

// A folder of this run's own for the sites, removed at the end.
const fs::path& workFolder() {
    static const fs::path folder =
        fs::temp_directory_path() / ("orvo-first-slice-" + std::to_string(::getpid()));
    return folder;
}

// The site of this size, written once per run.
const std::string& siteFile(int64_t nodes) {
    static std::map<int64_t, std::string> files;
    auto [at, added] = files.try_emplace(nodes);
    if (added) {
        fs::create_directories(workFolder());
        at->second = (workFolder() / ("site-" + std::to_string(nodes) + ".graph")).string();
        std::ofstream out(at->second, std::ios::binary);
        out << orvo::generateSiteGraph(orvo::SiteOptions{nodes, 1});
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", at->second.c_str());
            std::exit(1);
        }
    }
    return at->second;
}

// What one fresh process saw: the load's time, the first slice's nodes, the later slices'.
struct Sample {
    double loadSeconds = 0;
    int first = 0;
    std::array<int, kLaterFrames> later{};
    bool ok = false;
};

// Opens the file as the window does and draws the frames, in a child process of its own.
Sample inFreshProcess(const std::string& file) {
    return orvo::bench::measuredInFreshProcess<Sample>([&file](Sample& s) {
        orvo::OffscreenSurface surface(kWidth, kHeight);
        orvo::Glue glue;
        glue.setBuildSearchIndex(false);
        glue.initViewer(surface, kWidth, kHeight);
        glue.reshapeViewer(kWidth, kHeight);
        const Clock::time_point start = Clock::now();
        if (surface.valid() && glue.openGraphFile(file) == 1) {
            s.loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
            orvo::Viewer& viewer = *glue.viewer();
            viewer.redraw();  // the first paint
            s.first = viewer.renderer().nodesDrawnLastSlice();
            for (int& later : s.later) {
                viewer.redraw();
                later = viewer.renderer().nodesDrawnLastSlice();
            }
            s.ok = true;
        }
    });
}

struct Figures {
    std::vector<int> first, later;
    double loadSeconds = 1e300;
};
std::map<int64_t, Figures> measured;

int median(std::vector<int> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

void BM_FirstSliceAgainstLater(benchmark::State& state) {
    const int64_t nodes = state.range(0) == 0 ? largeNodes() : state.range(0);
    const std::string& file = siteFile(nodes);
    Figures& f = measured[nodes];
    for (auto _ : state) {
        const Sample s = inFreshProcess(file);
        if (!s.ok) {
            state.SkipWithError("the site could not be opened and drawn");
            return;
        }
        f.first.push_back(s.first);
        f.later.insert(f.later.end(), s.later.begin(), s.later.end());
        f.loadSeconds = std::min(f.loadSeconds, s.loadSeconds);
    }
    state.counters["nodes"] = double(nodes);
    state.counters["first_slice"] = median(f.first);
    state.counters["later_slice"] = median(f.later);
    state.counters["load_s"] = f.loadSeconds;
}
// Argument 0: the large site.
BENCHMARK(BM_FirstSliceAgainstLater)->Arg(10000)->Arg(0)->Iterations(3)->Unit(benchmark::kSecond);

void printSummary() {
    std::printf(
        "\nFirst slice after opening against later fresh slices (median nodes drawn, "
        "fresh processes; goal: first >= 50 %% of later):\n");
    for (const auto& [nodes, f] : measured) {
        const int first = median(f.first), later = median(f.later);
        const double share = later > 0 ? 100.0 * first / later : 0.0;
        std::printf("  %9lld nodes: first %6d (each run:", static_cast<long long>(nodes), first);
        for (const int n : f.first) std::printf(" %d", n);
        std::printf("), later %6d: %5.1f %% %s; load %.2f s\n", later, share,
                    share >= 50.0 ? "met" : "MISSED", f.loadSeconds);
    }
}

}  // namespace

int main(int argc, char** argv) {
    orvo::keepHeapForDrawing();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    std::error_code ignored;
    fs::remove_all(workFolder(), ignored);
    return 0;
}
