// orvo-inspect: loads a graph file, or any other input the viewer opens, exactly as the viewer
// does and reports what it loaded: a summary line, statistics, the tree text of the debug dump,
// or every node's laid-out position.
#include <sys/resource.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "glue/map_regions.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/measures_csv.h"
#include "graph/node_measures.h"
#include "graph/positions_csv.h"
#include "graph/read_stats.h"
#include "layout/layout.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_region.h"
#include "memory/atomic_file.h"
#include "memory/program_end.h"
#include "tools/command_line.h"
#include "tools/terminal_text.h"
#include "tools/tool_input.h"
#include "tools/tree_stats.h"

namespace {

constexpr int kExitFailure = 1;  // unusable file, unknown id, unwritable output
constexpr int kExitNoNode = 2;   // as a usage error: there is nothing to inspect

/// An id or a file name as a person's terminal may show it (no raw control bytes).
std::string shown(const std::string& text) { return orvo::escapeControlBytes(text); }

const char* const kHelpFooter =
    "Load flags (--flags N), the sum of the bits wanted; they decide what happens when a node\n"
    "is listed again under another parent:\n"
    "  0x01  never move a node: every repeated record becomes a non-tree link\n"
    "  0x02  compare the address components of the old parent, the new parent and the node\n"
    "  0x04  move a node only within the same level-0 ancestor\n"
    "  0x08  when still undecided, move when the new parent's component sorts first\n"
    "  0x10  records carry an extra integer, compared with the parent link's\n"
    "  0x20  when still undecided, move to the parent of lower level\n"
    "The viewer reads with 0x2A (0x02 + 0x08 + 0x20).\n"
    "\n"
    "Tree text (--dump PATH), one line a node in outline order, each node's outgoing non-tree\n"
    "links after its subtree, one level deeper; a line is DEPTH ID SHOWN GROUP..., one space\n"
    "apart, two before the first group:\n"
    "  DEPTH  the node's depth in the tree (the first record's level at the top)\n"
    "  ID     the node's id; on a link's line, the id of the node the link goes to\n"
    "  SHOWN  1 when the node (on a link's line, the link) is shown, 0 when hidden\n"
    "  GROUP  the node's group names, kind 0 first (two spaces before the first)\n"
    "\n"
    "Positions (--positions PATH): CSV with the header index,id,x,y,z, one row a node in index\n"
    "order, x y z being where the layout puts it in the unit ball.\n"
    "\n"
    "Measures (--measures PATH): CSV with the header index,id,depth,links_in,links_out,subtree,\n"
    "score, one row a node in index order (with --top N the N highest link scores, highest\n"
    "first): the depth in the tree (empty outside the top node's tree), the links in and out\n"
    "(tree links included), the nodes of its subtree (itself included) and the link score, a\n"
    "PageRank over all links (damping 0.85) summing to 1 over the graph.\n"
    "\n"
    "Exit status: 0 loaded, 1 unusable file, unknown id or unwritable output, 2 usage error or\n"
    "no node in the file.\n"
    "Ids and file names shown on a terminal have their control bytes written as \\xNN.";

struct Options {
    std::string file;
    std::string dumpPath;
    std::string positionsPath;
    std::string measuresPath;
    size_t top = 0;
    std::string fromId;
    bool haveFrom = false;
    int32_t loadFlags = orvo::kWindowLoadFlags;
    bool stats = false;
    uint64_t regionsAbove = orvo::kRegionAboveNodes;

    /// Whether what is asked needs every node in memory, rather than the map's counts.
    bool needsWholeGraph() const {
        return !dumpPath.empty() || !positionsPath.empty() || !measuresPath.empty() || haveFrom;
    }
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

/// Writes text to PATH, "-" being standard output; a file is complete or not written at all,
/// and a terminal gets no raw control bytes.
int writeOutput(const std::string& path, const std::string& text) {
    if (path == "-") {
        const std::string out =
            orvo::isTerminal(stdout) ? orvo::escapeControlBytes(text, true) : text;
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
        std::fprintf(stderr, "orvo-inspect: cannot write to standard output: %s\n",
                     std::strerror(errno));
        return kExitFailure;
    }
    std::string error;
    const bool written = orvo::writeFileAtomically(
        path,
        [&text](const std::string&, std::FILE* out, std::string&) {
            return std::fwrite(text.data(), 1, text.size(), out) == text.size();
        },
        error);
    if (written) return 0;
    std::fprintf(stderr, "orvo-inspect: %s\n", shown(error).c_str());
    return kExitFailure;
}

int writeDump(const orvo::Graph& graph, const std::string& path) {
    return writeOutput(path, graph.dumpSubtree(*graph.root, graph.root->level));
}

int writePositions(const orvo::Graph& graph, const std::string& path) {
    // The table is built in memory first: a terminal gets it escaped, a file all at once.
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* memory = ::open_memstream(&buffer, &size);
    if (memory == nullptr) {
        std::fprintf(stderr, "orvo-inspect: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    const bool ok = orvo::writePositionsCsv(memory, graph);
    std::fclose(memory);
    const std::string text(buffer, size);
    std::free(buffer);
    if (!ok) {
        std::fprintf(stderr, "orvo-inspect: out of memory for the positions\n");
        return kExitFailure;
    }
    return writeOutput(path, text);
}

void printStats(const std::string& file, const orvo::TreeStats& s, double readSeconds,
                double layoutSeconds) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakBytes = double(usage.ru_maxrss) * 1024.0;  // ru_maxrss is in KiB
    std::printf("file            %s\n", shown(file).c_str());
    std::printf("nodes           %lld (%lld shown)\n", (long long)s.nodes, (long long)s.shownNodes);
    std::printf("links           %lld\n", (long long)s.links);
    std::printf("tree links      %lld\n", (long long)s.treeLinks);
    std::printf("non-tree links  %lld\n", (long long)s.nonTreeLinks);
    std::printf("tree depth      %lld\n", (long long)s.depth);
    std::printf("widest fan-out  %lld (%s)\n", (long long)s.widestFanOut,
                shown(s.widestId).c_str());
    std::printf("read time       %.3f s\n", readSeconds);
    std::printf("layout time     %.3f s\n", layoutSeconds);
    std::printf("peak memory     %.1f MiB (%.0f bytes per node)\n", peakBytes / (1024.0 * 1024.0),
                peakBytes / double(s.nodes));
}

void printSummary(const std::string& file, const orvo::TreeStats& s) {
    std::printf("%s: %lld nodes, %lld links (%lld non-tree), depth %lld, widest fan-out %lld\n",
                shown(file).c_str(), (long long)s.nodes, (long long)s.links,
                (long long)s.nonTreeLinks, (long long)s.depth, (long long)s.widestFanOut);
}

// The statistics or the summary of a map too large to read whole, from its records in place:
// nothing that grows with the graph is built. Nothing when the map cannot be opened so (one
// without measures, or damaged): the whole read then reads it, or says why not.
std::optional<int> reportMapInPlace(const Options& options, orvo::ViewerSettings& settings) {
    const std::string file = shown(options.file);
    const auto start = std::chrono::steady_clock::now();
    orvo::MapRegionSource map;
    // A region of one node gives the map's group names and sets, and which the settings hide.
    orvo::Graph groups(settings);
    orvo::MapRegion region;
    orvo::TreeStats stats;
    if (!map.open(options.file).empty()) return std::nullopt;
    std::string why = map.buildRegion(map.homeNode(), 1, groups, region);
    if (why.empty()) {
        orvo::applyLoadSettings(groups, settings);
        // Every section's checksum, as a whole read checks them.
        why = map.check();
    }
    if (why.empty()) why = orvo::computeMapTreeStats(map, groups, stats);
    if (!why.empty()) {
        std::fprintf(stderr, "orvo-inspect: %s: %s\n", file.c_str(), why.c_str());
        return kExitFailure;
    }
    if (options.stats) {
        printStats(options.file, stats, secondsSince(start), 0.0);
    } else {
        printSummary(options.file, stats);
    }
    return orvo::endProgram(std::fflush(stdout) == 0 ? 0 : kExitFailure);
}

int run(const Options& options) {
    const std::string file = shown(options.file);
    orvo::ViewerSettings settings;
    orvo::applyWindowInitialisation(settings);
    settings.loadFlags = options.loadFlags;
    if (!options.needsWholeGraph() && options.regionsAbove > 0 &&
        orvo::peekMapNodeCount(options.file) > options.regionsAbove) {
        if (const std::optional<int> status = reportMapInPlace(options, settings)) return *status;
    }
    orvo::Graph graph(settings);
    graph.debugLevel = orvo::readDebugLevel();  // as the viewer does
    const auto loadStart = std::chrono::steady_clock::now();
    // The measures a map carries, taken as they are for --measures.
    orvo::NodeMeasures measures;
    if (orvo::isMapFile(options.file)) {
        // A map, whatever its name: read back as it was laid out.
        orvo::NodeMeasures* keep = options.measuresPath.empty() ? nullptr : &measures;
        if (const std::string why = orvo::readMapFile(options.file, graph, keep); !why.empty()) {
            std::fprintf(stderr, "orvo-inspect: %s: %s\n", file.c_str(), why.c_str());
            return kExitFailure;
        }
    } else {
        // Every input the viewer opens: graph files, and through the importers folders,
        // sitemaps, edge lists, DOT, GraphML, GEXF and JSON graphs, GML and Pajek.
        orvo::ToolInput input(options.file);
        if (input.stream() == nullptr) {
            std::fprintf(stderr, "orvo-inspect: %s\n", shown(input.error()).c_str());
            return kExitFailure;
        }
        graph.reload(*input.stream());
        orvo::layOutFromTop(graph);
        const std::string failure = input.finish();
        for (const std::string& warning : input.warnings()) {
            std::fprintf(stderr, "orvo-inspect: warning: %s\n", shown(warning).c_str());
        }
        if (!failure.empty()) {
            std::fprintf(stderr, "orvo-inspect: %s\n", shown(failure).c_str());
            return kExitFailure;
        }
    }
    const double loadSeconds = secondsSince(loadStart);
    // What the viewer asks about before it shows such a file; the load itself is the same.
    if (graph.readStats.looksLikeNoGraph()) {
        std::fprintf(stderr, "orvo-inspect: warning: %s\n",
                     orvo::noGraphWarning(file, graph.readStats).c_str());
    }
    if (const std::string reason = orvo::outOfMemoryReason(graph.readStats); !reason.empty()) {
        std::fprintf(stderr, "orvo-inspect: %s: %s\n", file.c_str(), reason.c_str());
        return kExitFailure;
    }
    if (graph.empty()) {
        std::fprintf(stderr, "orvo-inspect: %s holds no node record\n", file.c_str());
        return kExitNoNode;
    }
    orvo::applyLoadSettings(graph, settings);

    double layoutSeconds = 0.0;
    if (options.stats) {
        // The load laid the tree out once; doing it again from the same start node gives the
        // same positions and tells the layout's share of the load time.
        const int32_t top = graph.topNodeIndex();
        orvo::Node* start =
            top >= 0 && size_t(top) < graph.nodes.size() ? graph.nodes[top] : graph.root;
        const auto layoutStart = std::chrono::steady_clock::now();
        relayoutFrom(graph, start);
        layoutSeconds = secondsSince(layoutStart);
    }
    if (options.haveFrom) {
        orvo::Node* from = graph.findNode(options.fromId);
        if (!from) {
            std::fprintf(stderr, "orvo-inspect: no node with id \"%s\" in %s\n",
                         shown(options.fromId).c_str(), file.c_str());
            return kExitFailure;
        }
        relayoutFrom(graph, from);
    }

    if (!options.dumpPath.empty()) {
        if (const int status = writeDump(graph, options.dumpPath)) return status;
    }
    if (!options.positionsPath.empty()) {
        if (const int status = writePositions(graph, options.positionsPath)) return status;
    }
    if (!options.measuresPath.empty()) {
        if (measures.size() != graph.nodes.size())
            measures = orvo::computeNodeMeasures(graph, nullptr, 2);
        if (const int status =
                writeOutput(options.measuresPath, orvo::measuresCsv(graph, measures, options.top)))
            return status;
    }
    if (options.stats) {
        const double readSeconds = loadSeconds > layoutSeconds ? loadSeconds - layoutSeconds : 0;
        printStats(options.file, orvo::computeTreeStats(graph), readSeconds, layoutSeconds);
    } else if (options.dumpPath != "-" && options.positionsPath != "-" &&
               options.measuresPath != "-") {
        printSummary(options.file, orvo::computeTreeStats(graph));
    }
    // Every output is written and closed: the process ends without freeing the graph.
    return orvo::endProgram(std::fflush(stdout) == 0 ? 0 : kExitFailure);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Loads a graph file as the viewer does (load flags 0x2A, then the group colour "
        "table) and reports what it loaded. Without options it prints a one-line "
        "summary. Like the viewer it also opens a web site's folder, any directory, a "
        "sitemap, an edge list (CSV), a DOT, GraphML, GEXF, JSON, GML or Pajek file, imported in "
        "memory as "
        "orvo-import does with its defaults."};
    app.name("orvo-inspect");
    app.footer(kHelpFooter);
    Options options;
    std::string flagsText;
    app.add_option("FILE", options.file,
                   "Graph file, or a folder, sitemap, edge list, DOT, GraphML, GEXF, JSON, GML or Pajek file")
        ->required();
    app.add_option("--dump", options.dumpPath,
                   "Write the tree text of the debug dump to PATH (- for standard output)")
        ->type_name("PATH");
    app.add_option("--positions", options.positionsPath,
                   "Write index,id,x,y,z of every node as CSV to PATH (- for standard output)")
        ->type_name("PATH");
    CLI::Option* measures = app.add_option("--measures", options.measuresPath,
                   "Write every node's depth, links in and out, subtree size and link score as "
                   "CSV to PATH (- for standard output)")
        ->type_name("PATH");
    app.add_option("--top", options.top,
                   "With --measures: only the N highest link scores, highest first")
        ->type_name("N")
        ->check(CLI::Validator(
            [](const std::string& text) {
                return text.find_first_not_of("0123456789") == std::string::npos &&
                               text.find_first_not_of('0') != std::string::npos
                           ? std::string()
                           : "wants a whole number of 1 or more, not \"" + text + "\"";
            },
            "", ""))
        ->needs(measures);
    CLI::Option* from =
        app.add_option("--from", options.fromId, "Lay the tree out from the node with this id")
            ->type_name("ID");
    app.add_option("--flags", flagsText,
                   "Load flags, decimal or 0x hexadecimal (default 0x2A; bits below)")
        ->type_name("N");
    app.add_flag("--stats", options.stats,
                 "Print counts, tree depth, widest fan-out, read and layout time, peak memory");
    app.add_option("--regions-above", options.regionsAbove,
                   "The summary and --stats of a map of more nodes than this come from its "
                   "records in place, without reading it whole (default " +
                       std::to_string(orvo::kRegionAboveNodes) + "; 0: every map read whole)")
        ->type_name("N");
    app.set_version_flag("--version", "orvo-inspect " ORVO_VERSION);
    if (const std::optional<int> status = orvo::parseCommandLine(app, argc, argv)) return *status;
    options.haveFrom = from->count() > 0;
    if (!flagsText.empty()) {
        const std::optional<int32_t> flags = parseFlags(flagsText);
        if (!flags) {
            std::fprintf(stderr,
                         "orvo-inspect: --flags wants a number from 0 to 0x7FFFFFFF, "
                         "not \"%s\"\nRun with --help for more information.\n",
                         shown(flagsText).c_str());
            return orvo::kExitUsage;
        }
        options.loadFlags = *flags;
    }
    return run(options);
}
