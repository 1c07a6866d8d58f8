// orvo-inspect: loads a graph file exactly as the viewer does and reports what it loaded: a
// summary line, statistics, the tree text of the debug dump, or every node's laid-out position.
#include <sys/resource.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "tools/positions_csv.h"
#include "tools/tree_stats.h"

namespace {

constexpr int kExitFailure = 1;  // unusable file, unknown id, bad option, unwritable output
constexpr int kExitNoNode = 2;

struct Options {
    std::string file;
    std::string dumpPath;
    std::string positionsPath;
    std::string fromId;
    bool haveFrom = false;
    int32_t loadFlags = orvo::kWindowLoadFlags;
    bool stats = false;
};

/// Decimal, or hexadecimal after 0x; the whole text must be a number from 0 to INT32_MAX.
std::optional<int32_t> parseFlags(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (error != std::errc() || end != last || first == last || value < 0) return std::nullopt;
    return value;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Opens PATH for writing, "-" being standard output.
std::FILE* openOutput(const std::string& path) {
    return path == "-" ? stdout : std::fopen(path.c_str(), "wb");
}

bool closeOutput(std::FILE* f) {
    if (f == stdout) return std::fflush(f) == 0 && !std::ferror(f);
    const bool ok = !std::ferror(f);
    return std::fclose(f) == 0 && ok;
}

int failWrite(const std::string& path) {
    std::fprintf(stderr, "orvo-inspect: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return kExitFailure;
}

int writeDump(const orvo::Graph& graph, const std::string& path) {
    std::FILE* out = openOutput(path);
    if (!out) return failWrite(path);
    const std::string text = graph.dumpSubtree(*graph.root, graph.root->level);
    std::fwrite(text.data(), 1, text.size(), out);
    return closeOutput(out) ? 0 : failWrite(path);
}

int writePositions(const orvo::Graph& graph, const std::string& path) {
    std::FILE* out = openOutput(path);
    if (!out) return failWrite(path);
    const bool ok = orvo::writePositionsCsv(out, graph);
    return closeOutput(out) && ok ? 0 : failWrite(path);
}

void printStats(const std::string& file, const orvo::Graph& graph, double readSeconds,
                double layoutSeconds) {
    const orvo::TreeStats s = orvo::computeTreeStats(graph);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakBytes = double(usage.ru_maxrss) * 1024.0;  // ru_maxrss is in KiB
    std::printf("file            %s\n", file.c_str());
    std::printf("nodes           %lld (%lld shown)\n", (long long)s.nodes, (long long)s.shownNodes);
    std::printf("links           %lld\n", (long long)s.links);
    std::printf("tree links      %lld\n", (long long)s.treeLinks);
    std::printf("non-tree links  %lld\n", (long long)s.nonTreeLinks);
    std::printf("tree depth      %lld\n", (long long)s.depth);
    std::printf("widest fan-out  %lld (%s)\n", (long long)s.widestFanOut,
                s.widestNode ? s.widestNode->id.c_str() : "");
    std::printf("read time       %.3f s\n", readSeconds);
    std::printf("layout time     %.3f s\n", layoutSeconds);
    std::printf("peak memory     %.1f MiB (%.0f bytes per node)\n", peakBytes / (1024.0 * 1024.0),
                peakBytes / double(s.nodes));
}

void printSummary(const std::string& file, const orvo::Graph& graph) {
    const orvo::TreeStats s = orvo::computeTreeStats(graph);
    std::printf("%s: %lld nodes, %lld links (%lld non-tree), depth %lld, widest fan-out %lld\n",
                file.c_str(), (long long)s.nodes, (long long)s.links, (long long)s.nonTreeLinks,
                (long long)s.depth, (long long)s.widestFanOut);
}

int run(const Options& options) {
    struct stat info {};
    if (stat(options.file.c_str(), &info) != 0) {
        std::fprintf(stderr, "orvo-inspect: cannot open %s: %s\n", options.file.c_str(),
                     std::strerror(errno));
        return kExitFailure;
    }
    if (S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "orvo-inspect: cannot read %s: it is a directory\n",
                     options.file.c_str());
        return kExitFailure;
    }
    std::ifstream in(options.file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "orvo-inspect: cannot open %s: %s\n", options.file.c_str(),
                     std::strerror(errno));
        return kExitFailure;
    }

    orvo::ViewerSettings settings;
    orvo::applyWindowInitialisation(settings);
    settings.loadFlags = options.loadFlags;
    const auto loadStart = std::chrono::steady_clock::now();
    orvo::Graph graph(settings, in);  // reads, lays out, and honours DEVIRIRO_DEBUG
    const double loadSeconds = secondsSince(loadStart);
    if (in.bad()) {
        std::fprintf(stderr, "orvo-inspect: error while reading %s\n", options.file.c_str());
        return kExitFailure;
    }
    if (graph.empty()) {
        std::fprintf(stderr, "orvo-inspect: %s holds no node record\n", options.file.c_str());
        return kExitNoNode;
    }
    orvo::applyLoadSettings(graph, settings);

    double layoutSeconds = 0.0;
    if (options.stats) {
        // The load laid the tree out once; doing it again from the same start node gives the
        // same positions and tells the layout's share of the load time.
        const int32_t top = settings.topNodeIndex;
        orvo::Node* start =
            top >= 0 && size_t(top) < graph.nodes.size() ? graph.nodes[top] : graph.root;
        const auto layoutStart = std::chrono::steady_clock::now();
        graph.relayoutFrom(start);
        layoutSeconds = secondsSince(layoutStart);
    }
    if (options.haveFrom) {
        orvo::Node* from = graph.findNode(options.fromId);
        if (!from) {
            std::fprintf(stderr, "orvo-inspect: no node with id \"%s\" in %s\n",
                         options.fromId.c_str(), options.file.c_str());
            return kExitFailure;
        }
        graph.relayoutFrom(from);
    }

    if (!options.dumpPath.empty()) {
        if (const int status = writeDump(graph, options.dumpPath)) return status;
    }
    if (!options.positionsPath.empty()) {
        if (const int status = writePositions(graph, options.positionsPath)) return status;
    }
    if (options.stats) {
        const double readSeconds = loadSeconds > layoutSeconds ? loadSeconds - layoutSeconds : 0;
        printStats(options.file, graph, readSeconds, layoutSeconds);
    } else if (options.dumpPath != "-" && options.positionsPath != "-") {
        printSummary(options.file, graph);
    }
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Loads a graph file as the viewer does (load flags 0x2A, then the group colour "
        "table) and reports what it loaded. Without options it prints a one-line "
        "summary. Exit status: 0 loaded, 1 unusable file, unknown id or unwritable "
        "output, 2 no node in the file."};
    app.name("orvo-inspect");
    Options options;
    std::string flagsText;
    app.add_option("FILE", options.file, "Graph file")->required();
    app.add_option("--dump", options.dumpPath,
                   "Write the tree text of the debug dump to PATH (- for standard output)")
        ->type_name("PATH");
    app.add_option("--positions", options.positionsPath,
                   "Write index,id,x,y,z of every node as CSV to PATH (- for standard output)")
        ->type_name("PATH");
    CLI::Option* from =
        app.add_option("--from", options.fromId, "Lay the tree out from the node with this id")
            ->type_name("ID");
    app.add_option("--flags", flagsText, "Load flags, decimal or 0x hexadecimal (default 0x2A)")
        ->type_name("N");
    app.add_flag("--stats", options.stats,
                 "Print counts, tree depth, widest fan-out, read and layout time, peak memory");
    app.set_version_flag("--version", "orvo-inspect " ORVO_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kExitFailure;
    }
    options.haveFrom = from->count() > 0;
    if (!flagsText.empty()) {
        const std::optional<int32_t> flags = parseFlags(flagsText);
        if (!flags) {
            std::fprintf(stderr,
                         "orvo-inspect: --flags wants a number from 0 to 0x7FFFFFFF, "
                         "not \"%s\"\n",
                         flagsText.c_str());
            return kExitFailure;
        }
        options.loadFlags = *flags;
    }
    return run(options);
}
