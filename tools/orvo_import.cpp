// orvo-import: turns a web site on disk or on the web, a sitemap, any directory, an edge list
// (CSV/TSV), a DOT, GraphML, GEXF, JSON, GML or Pajek file into the outline graph format that
// orvo reads.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>

#include "crawl/import_graph.h"
#include "graph/graph.h"
#include "graph/graph_compare.h"
#include "graph/read_stats.h"
#include "graph/site_report.h"
#include "import/url.h"
#include "glue/window_settings.h"
#include "mapfile/column_map.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_writer.h"
#include "memory/atomic_file.h"
#include "memory/memory_room.h"
#include "settings/viewer_settings.h"
#include "stream/input_file.h"
#include "tools/command_line.h"
#include "tools/import_options.h"
#include "tools/interrupt.h"
#include "tools/outline_map.h"
#include "tools/progress_line.h"
#include "tools/tool_input.h"

namespace {

constexpr int kExitFailure = 1;  // the input could not be read, or the output not written

struct Options {
    std::string input;
    std::string output;
    bool quiet = false;
    orvo::ImportCommandLine importLine;
    orvo::ImportOptions& import = importLine.import;
    std::string report;                // --report: a CSV line per node of the graph written
    std::vector<std::string> compare;  // --compare OLD NEW
    std::string compareCsv;
    std::string outputFormat;  // "outline", "map", or "" to go by the output's name
    // Bytes of id and label text a map of an outline keeps in memory; the rest goes to
    // temporary files beside the map. 0: a quarter of the outline's size.
    uint64_t textMemory = 0;
};

// A map when asked for, or when the output's name ends in .orvomap.
bool writesMap(const Options& options) {
    if (!options.outputFormat.empty()) return options.outputFormat == "map";
    return options.output.size() > 8 && options.output.ends_with(".orvomap");
}

// Reads the outline text as the window would and writes the laid-out graph as a map to `path`,
// with every node's measures, so that whoever opens it need not work them out; "" or why not.
std::string writeMapOf(std::string text, const std::string& path) {
    orvo::OutlineMap map;
    if (!orvo::layOutForMap(std::move(text), map))
        return "the input holds no node record; nothing written";
    return orvo::writeMapFile(path, map.graph, map.settings, &map.measures);
}

// The map of an outline file, read from the file in columns: the text is never held whole, nor
// a Graph built, and the ids and labels that do not fit the memory given go to temporary files
// beside the map (they have no name, so that nothing stays behind whatever ends the program).
// The map has the bytes a Graph read and layout would give it. Progress shows on a terminal;
// Ctrl+C stops the work and nothing is written. `writeError` says why the map could not be
// written.
orvo::ImportResult mapOfOutlineFile(const Options& options,
                                    const std::atomic<bool>* interrupted, std::string& writeError) {
    orvo::ImportResult result;
    // The bytes the outline's copy would give: decompressed, and nothing converted.
    orvo::InputFile in;
    if (!in.open(options.input)) {
        result.error = options.input + ": " + in.error();
        return result;
    }
    orvo::ProgressLine status(!options.quiet && ::isatty(STDERR_FILENO) == 1);
    const uint64_t size = in.expectedSize();
    orvo::ColumnMapReports reports;
    reports.read = [&](uint64_t bytes) {
        if (!status.due()) return;
        std::string shown = "reading: " + orvo::memorySizeText(bytes);
        if (size >= bytes) shown += " of " + orvo::memorySizeText(size);
        status.show(std::move(shown));
    };
    reports.step = [&](const char* step) { status.show(step); };
    orvo::ViewerSettings settings;
    orvo::applyWindowInitialisation(settings);
    orvo::ColumnReadLimits limits;
    const std::filesystem::path folder = std::filesystem::path(options.output).parent_path();
    limits.spillDirectory = folder.empty() ? "." : folder.string();
    limits.textMemoryBytes = options.textMemory != 0 ? options.textMemory
                                                     : std::max<uint64_t>(size / 4, 64 << 20);
    const orvo::ColumnMapResult made = orvo::writeColumnMapFile(in.stream(), size, options.output,
                                                                settings, limits, reports,
                                                                interrupted);
    status.clear();
    if (made.stopped) {
        result.cancelled = true;
        return result;
    }
    if (in.stream().bad()) {
        result.error = options.input + ": " + in.error();
        return result;
    }
    if (made.outOfMemory) {
        result.error = options.input + ": " + made.error;
        return result;
    }
    result.ok = true;
    if (!made.anyNode && made.error.empty()) {
        writeError = "the input holds no node record; nothing written";
        return result;
    }
    writeError = made.error;
    return result;
}

// Reads an input as the viewer opens it (a web address is crawled) into `graph`; "" or why not.
std::string readGraph(const std::string& input, const orvo::ImportOptions& import,
                      orvo::Graph& graph) {
    if (orvo::isWebAddress(input)) {
        std::ostringstream text;
        const orvo::ImportResult r =
            orvo::importGraph(input, orvo::ImportFormat::Url, import, text, {});
        if (!r.ok) return input + ": " + r.error;
        std::istringstream in(text.str());
        graph.reload(in);
        return "";
    }
    if (orvo::isMapFile(input)) {
        const std::string why = orvo::readMapFile(input, graph);
        return why.empty() ? "" : input + ": " + why;
    }
    orvo::ToolInput in(input);
    if (in.stream() == nullptr) return in.error();
    graph.reload(*in.stream());
    const std::string failure = in.finish();
    if (const std::string reason = orvo::outOfMemoryReason(graph.readStats); !reason.empty())
        return input + ": " + reason;
    if (failure.empty() && graph.empty()) return input + ": holds no node record";
    return failure;
}

// Reads the graph text written and writes its report; "" or why not.
std::string writeReport(const std::string& path, const std::string& graphText) {
    orvo::ViewerSettings settings;
    orvo::Graph graph(settings);
    std::istringstream in(graphText);
    graph.reload(in);
    std::string error;
    return orvo::writeSiteReportFile(path, graph, error) ? "" : path + ": " + error;
}

// An output stream onto the file writeFileAtomically hands out.
class FileStreamBuffer : public std::streambuf {
public:
    explicit FileStreamBuffer(std::FILE* file) : file_(file) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        return std::fputc(c, file_) == EOF ? traits_type::eof() : c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        return static_cast<std::streamsize>(std::fwrite(s, 1, static_cast<std::size_t>(n), file_));
    }
    int sync() override { return std::fflush(file_) == 0 ? 0 : -1; }

private:
    std::FILE* file_;
};

// Writes the text to the path (standard output for "" or "-"), whole or not at all; "" or why not.
std::string writeWhole(const std::string& path, const std::string& text) {
    if (path.empty() || path == "-") {
        std::cout << text << std::flush;
        return std::cout ? "" : "standard output: could not be written";
    }
    std::string error;
    orvo::writeFileAtomically(
        path,
        [&text](const std::string&, std::FILE* out, std::string&) {
            return std::fwrite(text.data(), 1, text.size(), out) == text.size();
        },
        error);
    return error;
}

int compareInputs(const Options& options) {
    orvo::ViewerSettings settings;
    orvo::Graph older(settings), newer(settings);
    for (const auto& [input, graph] :
         {std::pair{options.compare[0], &older}, std::pair{options.compare[1], &newer}}) {
        if (const std::string why = readGraph(input, options.import, *graph); !why.empty()) {
            std::cerr << "orvo-import: " << why << "\n";
            return kExitFailure;
        }
    }
    const orvo::GraphComparison comparison = orvo::compareGraphs(older, newer);
    if (comparison.recordsLeftOut > 0 && !options.quiet)
        std::cerr << "orvo-import: warning: " << comparison.recordsLeftOut
                  << " records too long for a graph file left out\n";
    std::string why = writeWhole(options.output, comparison.outline);
    if (why.empty() && !options.compareCsv.empty())
        why = writeWhole(options.compareCsv, orvo::changesCsv(comparison, older, newer));
    if (why.empty() && !options.report.empty())
        why = writeReport(options.report, comparison.outline);
    if (!why.empty()) {
        std::cerr << "orvo-import: " << why << "\n";
        return kExitFailure;
    }
    std::cerr << "orvo-import: " << orvo::comparisonSummary(comparison) << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{
        "Turns a web site on disk, a sitemap, a directory tree, an edge list (CSV or TSV), a DOT,\n"
        "GraphML, GEXF, JSON, GML or Pajek file into the outline graph format that orvo opens,\n"
        "or crawls a live web site from an http:// or https:// address. The format is told from\n"
        "the input: an address is crawled; a directory with an index.html is a site, any other\n"
        "directory a directory tree; a file by what it holds (a urlset or sitemapindex a sitemap,\n"
        "a graphml element GraphML, \"graph [\" GML, *Vertices or *Network Pajek, graph or\n"
        "digraph DOT, a gexf element GEXF, an object with \"nodes\", \"links\", \"edges\" or\n"
        "\"elements\" a JSON graph), else by its name (.csv/.tsv an edge list, .dot/.gv DOT,\n"
        ".graphml GraphML, .gml GML, .net/.paj Pajek, .gexf GEXF, .json JSON), else by a comma\n"
        "or tab in its first line; a graph file (.graph) is copied as it is, so that --report\n"
        "and --compare take it too; a gzip, bzip2, xz or zstd file is decompressed as it is read.\n"
        "Ctrl+C ends a crawl early "
        "and still writes the graph of what was crawled."};
    app.name("orvo-import");
    app.add_option("input", options.input,
                   "The site directory, directory or file to import, or the http:// or https:// "
                   "address to crawl");
    app.add_option("-o,--output", options.output,
                   "Output graph file (standard output when absent); written completely or not "
                   "at all");
    orvo::addImportOptions(app, options.importLine);
    app.add_flag("-q,--quiet", options.quiet, "Print no warnings");
    app.add_option("--report", options.report,
                   "Also write a CSV file with a line per node of the graph written: id, "
                   "groups, depth in the tree, links in, links out, status, subtree size, link "
                   "score (a PageRank over all links)")
        ->type_name("PATH");
    app.add_option("--compare", options.compare,
                   "Instead of one input, compare two (each any input orvo opens, or an address "
                   "to crawl) and write the newer graph with the removed nodes; the groups "
                   "added, removed, changed and unchanged say what happened to each node")
        ->expected(2)
        ->type_name("PATH")
        ->excludes("input");
    app.add_option("--compare-csv", options.compareCsv,
                   "With --compare: write each changed or removed id, with the links it gained "
                   "and lost and its link score before and after, as CSV")
        ->type_name("PATH")
        ->needs("--compare");
    app.add_option("--output-format", options.outputFormat,
                   "What to write: the outline graph text (outline), or the graph laid out as a "
                   "map file that opens without reading text or laying out again (map); by "
                   "default a map when the output's name ends in .orvomap")
        ->check(CLI::IsMember({"outline", "map"}));
    app.add_option("--text-memory", options.textMemory,
                   "With a map of an outline graph file: bytes of id and label text kept in "
                   "memory, the rest going to temporary files beside the map (by default a "
                   "quarter of the input's size)")
        ->type_name("BYTES");
    app.set_version_flag("--version", "orvo-import " ORVO_VERSION);
    if (const std::optional<int> status = orvo::parseCommandLine(app, argc, argv)) return *status;
    if (options.input.empty() && options.compare.empty()) {
        std::cerr << "orvo-import: input is required\nRun with --help for more information.\n";
        return orvo::kExitUsage;
    }

    const bool map = writesMap(options);
    if (map && (options.output.empty() || options.output == "-" || !options.compare.empty())) {
        std::cerr << "orvo-import: a map is written to a file named with -o, from one input\n";
        return orvo::kExitUsage;
    }
    if (!options.compare.empty()) {
        if (const std::string why = orvo::checkImportOptions(options.importLine); !why.empty()) {
            std::cerr << "orvo-import: " << why << "\n";
            return orvo::kExitUsage;
        }
        return compareInputs(options);
    }
    const orvo::ImportPlan plan = orvo::planImport(options.input, options.importLine);
    if (plan.status != 0) {
        std::cerr << "orvo-import: " << plan.error << "\n";
        return plan.status;
    }
    const orvo::ImportFormat format = plan.format;

    // Ctrl+C and SIGTERM stop the work: a crawl then writes the graph of what it crawled so
    // far, any other import writes nothing; the temporary file never stays behind.
    orvo::ImportProgress progress;
    progress.cancel = orvo::installInterruptFlag();
    const bool crawling = format == orvo::ImportFormat::Url;
    // The crawl's figures on one line of a terminal.
    orvo::ProgressLine status(crawling && !options.quiet && ::isatty(STDERR_FILENO) == 1);
    if (crawling) {
        // The crawl's log (pages that failed, and why) is shown as it happens.
        progress.note = [&options, &status](std::string_view line) {
            if (options.quiet) return;
            status.clear();
            std::cerr << "orvo-import: " << line << "\n";
        };
        progress.report = [&status](uint64_t done, uint64_t total, std::string_view what) {
            // Writing the graph after the crawl is quick: only the crawl is shown.
            if (what != "crawling" || !status.due()) return;
            std::string shown = "crawling: " + std::to_string(done) + " fetched";
            if (total > done) shown += ", " + std::to_string(total - done) + " queued";
            status.show(std::move(shown));
        };
    }
    // With a report, the graph is kept to be read back once written.
    std::ostringstream kept;
    orvo::ImportResult result;
    const auto import = [&](std::ostream& out) {
        result = orvo::importGraph(options.input, format, options.import,
                                   options.report.empty() ? out : kept, progress);
        if (result.ok && !options.report.empty()) out << kept.str();
        out.flush();
        return result.ok && out.good();
    };
    // A file is written whole or not at all: an import that fails, or is interrupted before its
    // end, leaves any file there as it was.
    std::string writeError;
    bool written = false;
    if (map) {
        // The map is made from the whole outline text, read and laid out as the window does.
        if (format == orvo::ImportFormat::Outline && options.report.empty()) {
            result = mapOfOutlineFile(options, progress.cancel, writeError);
        } else {
            result = orvo::importGraph(options.input, format, options.import, kept, progress);
            if (result.ok && options.report.empty())
                writeError = writeMapOf(std::move(kept).str(), options.output);
            else if (result.ok)
                writeError = writeMapOf(kept.str(), options.output);
        }
        written = result.ok && writeError.empty();
    } else if (options.output.empty() || options.output == "-") {
        written = import(std::cout);
        if (!written) writeError = "standard output: could not be written";
    } else {
        written = orvo::writeFileAtomically(
            options.output,
            [&import](const std::string&, std::FILE* file, std::string&) {
                FileStreamBuffer buffer(file);
                std::ostream out(&buffer);
                return import(out);
            },
            writeError);
    }
    status.clear();
    // A crawl's warnings are its log lines, already shown.
    if (!options.quiet && !crawling) {
        for (const std::string& warning : result.warnings) {
            std::cerr << "orvo-import: warning: " << warning << "\n";
        }
    }
    const int signal = orvo::interruptSignal();
    if (!result.ok) {
        if (signal != 0 || result.cancelled) {
            std::cerr << "orvo-import: interrupted; nothing written\n";
            return 128 + (signal != 0 ? signal : SIGINT);
        }
        std::cerr << "orvo-import: " << (result.error.empty() ? writeError : result.error) << "\n";
        return kExitFailure;
    }
    if (!written) {
        std::cerr << "orvo-import: " << writeError << "\n";
        return kExitFailure;
    }
    if (!options.report.empty()) {
        if (const std::string why = writeReport(options.report, kept.str()); !why.empty()) {
            std::cerr << "orvo-import: " << why << "\n";
            return kExitFailure;
        }
    }
    if (signal != 0) {
        if (!options.quiet) {
            std::cerr << "orvo-import: interrupted; the graph of what was crawled so far ("
                      << result.records << " records) was written\n";
        }
        return 128 + signal;
    }
    return 0;
}
