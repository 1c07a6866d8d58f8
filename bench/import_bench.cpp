// Opening what users have, against opening the outline graph file it becomes:
//   - an edge list (CSV) of N nodes and 1.5 N edges imported and read at once, as the viewer
//     opens it, against reading the equivalent outline file (what orvo-import writes for it) in
//     the same run: time and peak resident memory of both, and their ratios;
//   - the same graph as GML, as a Pajek network, as GEXF and as a JSON node-link graph, and the
//     edge list and the JSON graph gzip-compressed, each against the outline file it becomes;
//   - a directory tree of N files listed, imported and read (made once per run in a temporary
//     folder and removed at the end).
// Each load runs in a fresh process, as a viewer opening a file does.
// Sizes: 10 000 and 1 000 000 nodes (files). Ends with the goals: the CSV at most twice the
// outline's time, GML, Pajek, GEXF and JSON at most 2.5 times, the compressed ones at most 3
// times, all within 1.5 times its memory; the 1 000 000-file tree in under 10 s.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_environment.h"
#include "bench/fresh_process.h"
#include "bench/process_memory.h"
#include "crawl/import_graph.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "import/import_converter.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"
#include "stream/background_conversion.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using orvo::bench::secondsSince;

using orvo::bench::processorSeconds;
using orvo::bench::peakResidentBytes;
using orvo::bench::resetPeakResident;
using orvo::bench::residentBytes;

// The inputs, made once per size in a folder of their own, removed at exit.
struct Inputs {
    ~Inputs() {
        std::error_code ignored;
        if (!folder.empty()) fs::remove_all(folder, ignored);
    }
    fs::path folder;
    // By format ("csv", "gml", "pajek") and size: the input and its outline.
    std::map<std::string, std::map<int64_t, std::pair<std::string, std::string>>> graphs;
    std::map<int64_t, std::string> trees;
};
Inputs inputs;

const fs::path& scratchFolder() {
    if (inputs.folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        inputs.folder = fs::path(tmp && *tmp ? tmp : "/tmp") /
                        ("orvo-import-bench-" + std::to_string(::getpid()));
        fs::create_directories(inputs.folder);
    }
    return inputs.folder;
}

// A graph shaped like a crawl: node i > 0 is linked from an earlier node (mostly a near one, so
// the tree has depth), and half as many further edges join random nodes.
std::vector<std::pair<uint64_t, uint64_t>> crawlEdges(uint64_t nodes) {
    std::mt19937_64 random(1);
    std::vector<std::pair<uint64_t, uint64_t>> edges;
    edges.reserve(nodes * 3 / 2);
    for (uint64_t i = 1; i < nodes; ++i) {
        const uint64_t span = std::min<uint64_t>(i, 50);
        const uint64_t parent = (random() % 4 == 0) ? random() % i : i - 1 - random() % span;
        edges.emplace_back(parent, i);
    }
    const uint64_t extra = nodes * 3 / 2 - (nodes - 1);
    for (uint64_t k = 0; k < extra; ++k) {
        const uint64_t a = random() % nodes;
        uint64_t b = random() % nodes;
        if (b == a) b = (a + 1) % nodes;
        edges.emplace_back(a, b);
    }
    return edges;
}

// The crawl-shaped graph of `nodes` nodes written in the format, and the outline it becomes.
// CSV, GEXF and JSON name the nodes by address; GML and Pajek by number, with the address as the
// label. A format ending in ".gz" is the other's file gzip-compressed.
const std::pair<std::string, std::string>& graphOf(const std::string& format, int64_t nodes) {
    auto found = inputs.graphs[format].find(nodes);
    if (found != inputs.graphs[format].end()) return found->second;
    const std::string base = (scratchFolder() / ("edges-" + std::to_string(nodes))).string();
    const std::string input = base + (format == "pajek" ? ".net" : "." + format);
    const std::string outline = input + ".graph";
    if (format.ends_with(".gz")) {
        const std::string& plain = graphOf(format.substr(0, format.size() - 3), nodes).first;
        const std::string command = "gzip -c '" + plain + "' > '" + input + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot compress %s\n", plain.c_str());
            std::exit(1);
        }
    } else {
        const auto edges = crawlEdges(uint64_t(nodes));
        auto id = [](uint64_t n) { return "http://example.org/p" + std::to_string(n) + ".html"; };
        std::ofstream out(input, std::ios::binary);
        if (format == "csv") {
            out << "from,to\n";
            for (const auto& [a, b] : edges) out << id(a) << ',' << id(b) << '\n';
        } else if (format == "gml") {
            out << "graph [\n  directed 1\n";
            for (int64_t n = 0; n < nodes; ++n)
                out << "  node [\n    id " << n << "\n    label \"" << id(n) << "\"\n  ]\n";
            for (const auto& [a, b] : edges)
                out << "  edge [\n    source " << a << "\n    target " << b << "\n  ]\n";
            out << "]\n";
        } else if (format == "pajek") {
            out << "*Vertices " << nodes << '\n';
            for (int64_t n = 0; n < nodes; ++n) out << n + 1 << " \"" << id(n) << "\"\n";
            out << "*Arcs\n";
            for (const auto& [a, b] : edges) out << a + 1 << ' ' << b + 1 << '\n';
        } else if (format == "gexf") {
            out << "<?xml version=\"1.0\"?>\n<gexf version=\"1.3\"><graph "
                   "defaultedgetype=\"directed\">\n<nodes>\n";
            for (int64_t n = 0; n < nodes; ++n) out << "<node id=\"" << id(n) << "\"/>\n";
            out << "</nodes>\n<edges>\n";
            for (const auto& [a, b] : edges)
                out << "<edge source=\"" << id(a) << "\" target=\"" << id(b) << "\"/>\n";
            out << "</edges>\n</graph></gexf>\n";
        } else {
            out << "{\"directed\": true, \"nodes\": [\n";
            for (int64_t n = 0; n < nodes; ++n)
                out << (n ? ",\n" : "") << "{\"id\": \"" << id(n) << "\"}";
            out << "],\n\"links\": [\n";
            for (size_t k = 0; k < edges.size(); ++k)
                out << (k ? ",\n" : "") << "{\"source\": \"" << id(edges[k].first)
                    << "\", \"target\": \"" << id(edges[k].second) << "\"}";
            out << "]}\n";
        }
    }
    std::ofstream out(outline, std::ios::binary);
    orvo::ImportOptions options;
    const orvo::ImportResult result =
        orvo::importGraph(input, orvo::guessImportFormat(input), options, out);
    if (!result.ok) {
        std::fprintf(stderr, "cannot import %s: %s\n", input.c_str(), result.error.c_str());
        std::exit(1);
    }
    return inputs.graphs[format].emplace(nodes, std::make_pair(input, outline)).first->second;
}

// Folders of 1000 empty files, 100 folders to a parent folder.
const std::string& treeOf(int64_t files) {
    auto found = inputs.trees.find(files);
    if (found != inputs.trees.end()) return found->second;
    const fs::path top = scratchFolder() / ("tree-" + std::to_string(files));
    for (int64_t made = 0; made < files;) {
        const int64_t folder = made / 1000;
        const fs::path dir =
            top / ("part" + std::to_string(folder / 100)) / ("folder" + std::to_string(folder));
        fs::create_directories(dir);
        for (int k = 0; k < 1000 && made < files; ++k, ++made) {
            const std::string name =
                (dir / ("file" + std::to_string(k) + (k % 3 == 0 ? ".html" : ".png"))).string();
            const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
            if (fd < 0) {
                std::fprintf(stderr, "cannot make %s\n", name.c_str());
                std::exit(1);
            }
            ::close(fd);
        }
    }
    return inputs.trees.emplace(files, top.string()).first->second;
}

struct Measure {
    double seconds = 1e300;           // best iteration
    double processorSeconds = 1e300;  // best iteration
    double importSeconds = 0;
    int64_t peakBytes = 0;  // worst iteration's peak growth
    size_t nodes = 0;
};
std::map<std::string, std::map<int64_t, Measure>> measured;

// One load's figures, as the process that made it saw them.
struct Sample {
    double seconds = 0;
    double processorSeconds = 0;
    double importSeconds = 0;
    int64_t peakBytes = 0;
    uint64_t nodes = 0;
    bool peakIsExact = false;
};

// Runs `load` in a fresh child process, as a user's viewer opens a file, and returns what it
// measured there (see bench/fresh_process.h).
template <typename Load>
Sample inFreshProcess(Load load) {
    return orvo::bench::measuredInFreshProcess<Sample>([&load](Sample& s) {
        const int64_t before = residentBytes();
        s.peakIsExact = resetPeakResident();
        const Clock::time_point start = Clock::now();
        const double processorStart = processorSeconds();
        s.nodes = load(s.importSeconds);
        s.seconds = secondsSince(start);
        s.processorSeconds = processorSeconds() - processorStart;
        s.peakBytes = peakResidentBytes() - before;
    });
}

// Runs `load` once per iteration in a fresh process, recording the best time and the largest
// growth of the peak resident size.
template <typename Load>
void measure(benchmark::State& state, const char* what, Load load) {
    Measure& m = measured[what][state.range(0)];
    bool peakIsExact = true;
    for (auto _ : state) {
        const Sample s = inFreshProcess(load);
        state.PauseTiming();
        m.processorSeconds = std::min(m.processorSeconds, s.processorSeconds);
        m.peakBytes = std::max(m.peakBytes, s.peakBytes);
        peakIsExact = peakIsExact && s.peakIsExact;
        if (s.seconds < m.seconds) {
            m.seconds = s.seconds;
            m.importSeconds = s.importSeconds;
        }
        m.nodes = s.nodes;
        if (s.nodes == 0) {
            state.SkipWithError("nothing was loaded");
            break;
        }
        state.ResumeTiming();
    }
    state.counters["nodes"] = double(m.nodes);
    state.counters["import_s"] = m.importSeconds;
    state.counters["cpu_s"] = m.processorSeconds;
    state.counters["peak_MiB"] = double(m.peakBytes) / (1 << 20);
    if (!peakIsExact) state.SetLabel("peak not resettable: memory is an upper bound");
}

// Reads outline text into a graph laid out as the viewer lays it out; the node count.
size_t readGraph(std::istream& in) {
    orvo::ViewerSettings settings;
    settings.loadFlags = orvo::kWindowLoadFlags;
    orvo::Graph graph(settings, in);
    orvo::layOutFromTop(graph);
    benchmark::DoNotOptimize(graph.nodes.empty() ? 0.0 : graph.globalTransform(*graph.nodes.back()).m[12]);
    return graph.nodes.size();
}

// Imports the input as the viewer does: the importer writes the outline text on a thread of its
// own while the reader takes it. The import's time runs until the importer has written its last
// byte.
size_t importAndRead(const std::string& input, double& importSeconds) {
    const Clock::time_point start = Clock::now();
    const orvo::InputConverter importer = orvo::importConverter();
    Clock::time_point imported = start;
    orvo::InputConverter timed = importer;
    timed.convert = [&](const std::string& path, std::ostream& out,
                        const orvo::ConversionProgress& progress, const std::atomic<bool>* cancel) {
        orvo::ConversionResult result = importer.convert(path, out, progress, cancel);
        imported = Clock::now();
        return result;
    };
    orvo::BackgroundConversion conversion(timed, input, nullptr);
    const size_t nodes = readGraph(conversion.stream());
    if (!conversion.result().ok) return 0;
    importSeconds = std::chrono::duration<double>(imported - start).count();
    return nodes;
}

// Each format's file imported and opened, and the outline file it becomes opened.
void BM_OpenOutlineFile(benchmark::State& state, const std::string& format) {
    const std::string& outline = graphOf(format, state.range(0)).second;
    measure(state, (format + " outline").c_str(), [&](double&) {
        std::ifstream in(outline, std::ios::binary);
        return readGraph(in);
    });
}

void BM_ImportAndOpen(benchmark::State& state, const std::string& format) {
    const std::string& input = graphOf(format, state.range(0)).first;
    measure(state, format.c_str(),
            [&](double& importSeconds) { return importAndRead(input, importSeconds); });
}

// Each format's import against its outline's time at most this many times; memory 1.5 times.
constexpr std::pair<const char*, double> kTimeGoals[] = {
    {"csv", 2.0},  {"gml", 2.5},    {"pajek", 2.5},  {"gexf", 2.5},
    {"json", 2.5}, {"csv.gz", 3.0}, {"json.gz", 3.0}};

// Each format's outline first, so that its import's figures can be set against it.
void registerFormats() {
    for (const auto& [name, goal] : kTimeGoals) {
        const std::string format = name;
        for (const bool outline : {true, false}) {
            benchmark::RegisterBenchmark(
                ((outline ? "BM_OpenOutlineFile/" : "BM_ImportAndOpen/") + format).c_str(),
                [format, outline](benchmark::State& state) {
                    outline ? BM_OpenOutlineFile(state, format) : BM_ImportAndOpen(state, format);
                })
                ->Arg(10'000)
                ->Arg(1'000'000)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(3);
        }
    }
}

void BM_ListAndOpenDirectoryTree(benchmark::State& state) {
    const std::string& tree = treeOf(state.range(0));
    measure(state, "tree",
            [&](double& importSeconds) { return importAndRead(tree, importSeconds); });
}

BENCHMARK(BM_ListAndOpenDirectoryTree)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

void printGoals() {
    for (const auto& [format, timeGoal] : kTimeGoals) {
        for (const auto& [size, outline] : measured[std::string(format) + " outline"]) {
            auto found = measured[format].find(size);
            if (found == measured[format].end()) continue;
            const Measure& imported = found->second;
            const double timeRatio = imported.seconds / outline.seconds;
            const double processorRatio = imported.processorSeconds / outline.processorSeconds;
            const double memoryRatio = double(imported.peakBytes) / double(outline.peakBytes);
            // The goals are set for a million nodes; smaller runs show how the figures scale.
            const bool goalSize = size >= 1'000'000;
            const auto verdict = [goalSize](bool met, const std::string& goal) {
                return goalSize ? ", goal " + goal + (met ? ": met" : ": MISSED") : std::string();
            };
            std::printf(
                "\n%s of %lld nodes: import + open %.3f s (import done at %.3f s; processor "
                "%.3f s), outline file %.3f s (processor %.3f s): ratio %.2f (processor %.2f)%s\n",
                format, static_cast<long long>(size), imported.seconds, imported.importSeconds,
                imported.processorSeconds, outline.seconds, outline.processorSeconds, timeRatio,
                processorRatio,
                verdict(timeRatio <= timeGoal, "<= " + std::to_string(timeGoal).substr(0, 3))
                    .c_str());
            std::printf(
                "%s of %lld nodes: peak memory %.0f MiB, outline file %.0f MiB: ratio %.2f%s\n",
                format, static_cast<long long>(size), double(imported.peakBytes) / (1 << 20),
                double(outline.peakBytes) / (1 << 20), memoryRatio,
                verdict(memoryRatio <= 1.5, "<= 1.5").c_str());
        }
    }
    for (const auto& [size, tree] : measured["tree"]) {
        std::printf(
            "Directory tree of %lld files (%zu nodes): listed and opened in %.3f s "
            "(listing and import %.3f s; processor %.3f s), peak %.0f MiB%s\n",
            static_cast<long long>(size), tree.nodes, tree.seconds, tree.importSeconds,
            tree.processorSeconds, double(tree.peakBytes) / (1 << 20),
            size >= 1'000'000
                ? (tree.seconds < 10.0 ? ", goal < 10 s: met" : ", goal < 10 s: MISSED")
                : "");
    }
}

}  // namespace

int main(int argc, char** argv) {
    unsetenv("DEVIRIRO_DEBUG");  // no debug dump inside the measurement
    registerFormats();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printGoals();
    return 0;
}
