// orvo-publish: writes a map anyone can open: one HTML file holding the page, the browser
// program and the graph (compressed), which opens from disk in a current browser without any
// server; or, with --folder, index.html with its data beside it for a static host.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "crawl/import_graph.h"
#include "glue/web_page.h"
#include "graph/graph.h"
#include "graph/outline_writer.h"
#include "import/import.h"
#include "mapfile/map_reader.h"
#include "memory/regular_file.h"
#include "settings/viewer_settings.h"
#include "tools/command_line.h"
#include "tools/import_options.h"
#include "tools/interrupt.h"
#include "tools/outline_map.h"
#include "tools/progress_line.h"

namespace {

constexpr int kExitFailure = 1;

struct Options {
    std::string input;
    std::string output;
    std::string folder;
    std::string title;
    std::optional<std::string> gotoId;
    std::string keys;
    bool quiet = false;
    bool outline = false;
    orvo::ImportCommandLine importLine;
};

int fail(const std::string& message) {
    std::cerr << "orvo-publish: " << message << "\n";
    return kExitFailure;
}

int usage(const std::string& message) {
    std::cerr << "orvo-publish: " << message << "\nRun with --help for more information.\n";
    return orvo::kExitUsage;
}

// Keys a page cannot take: "f" reads an id from standard input, and anything but a printable
// character is no key command.
std::string keysProblem(const std::string& keys) {
    for (const char key : keys) {
        if (key == 'f')
            return "--keys cannot take \"f\" (it reads an id from standard input, which a page "
                   "has not); name the start node with --goto ID";
        if (key < 0x21 || key > 0x7e)
            return "--keys takes the view's key commands, printable characters, not \"" +
                   keys + "\"";
    }
    return "";
}

int run(const Options& given) {
    Options options = given;
    if (options.output.empty() == options.folder.empty())
        return usage("give either -o FILE.html (one file) or --folder DIR (a folder to host)");
    if (const std::string problem = keysProblem(options.keys); !problem.empty())
        return usage(problem);
    // A map, whatever its name, is published as the graph it holds.
    const bool map = orvo::isMapFile(options.input);
    const orvo::ImportPlan plan =
        map ? orvo::ImportPlan{} : orvo::planImport(options.input, options.importLine);
    if (plan.status != 0) {
        std::cerr << "orvo-publish: " << plan.error << "\n";
        return plan.status;
    }
    orvo::WebPageParts parts;
    std::string error;
    if (!orvo::readWebPageParts(orvo::webPartsPlaces(orvo::runningProgramDir()), parts, error))
        return fail(error);

    orvo::ProgressLine line(!options.quiet && ::isatty(STDERR_FILENO) == 1);
    // What is being done, and how far it is when the whole is known.
    const auto showProgress = [&line](std::string_view what, uint64_t done, uint64_t total) {
        if (!line.due()) return;
        std::string shown = "orvo-publish: " + std::string(what);
        if (total > 0) shown += " " + std::to_string(done * 100 / total) + " %";
        line.show(std::move(shown));
    };
    orvo::ImportProgress progress;
    progress.cancel = orvo::installInterruptFlag();
    progress.report = [&showProgress](uint64_t done, uint64_t total, std::string_view what) {
        showProgress(what, done, total);
    };
    // The page carries a map unless asked for the outline: the map is read as it is, without a
    // layout, and carries the nodes' measures.
    std::string outline, mapBytes;
    orvo::OutlineMap laidOut;
    orvo::ViewerSettings settings;
    orvo::Graph outlineGraph(settings);
    orvo::Graph* graph = &laidOut.graph;
    if (map) {
        showProgress("reading", 0, 0);
        if (!orvo::readWholeFile(options.input, mapBytes))
            return fail(options.input + ": " + std::strerror(errno));
        if (const std::string why = orvo::readMapBytes(
                reinterpret_cast<const unsigned char*>(mapBytes.data()), mapBytes.size(),
                laidOut.graph);
            !why.empty())
            return fail(options.input + ": " + why);
        line.clear();
        if (options.outline) {
            outline = orvo::graphOutline(laidOut.graph);
            mapBytes = {};
        }
    } else {
        std::ostringstream text;
        const orvo::ImportResult imported = orvo::importGraph(
            options.input, plan.format, options.importLine.import, text, progress);
        line.clear();
        if (!options.quiet)
            for (const std::string& warning : imported.warnings)
                std::cerr << "orvo-publish: warning: " << warning << "\n";
        if (const int signal = orvo::interruptSignal(); signal != 0) {
            std::cerr << "orvo-publish: interrupted; nothing written\n";
            return 128 + signal;
        }
        if (!imported.ok)
            return fail(imported.error.empty() ? options.input + ": cannot be imported"
                                               : imported.error);
        outline = std::move(text).str();
        if (options.outline) {
            // The graph as the page will read it: its size, and the start node shown in it.
            showProgress("reading", 0, 0);
            std::istringstream in(outline);
            outlineGraph.reload(in);
            if (const std::string why = orvo::outOfMemoryReason(outlineGraph.readStats);
                !why.empty())
                return fail(options.input + ": " + why);
            graph = &outlineGraph;
        } else {
            showProgress("laying out", 0, 0);
            if (!orvo::layOutForMap(outline, laidOut)) {
                const std::string why = orvo::outOfMemoryReason(laidOut.graph.readStats);
                return fail(options.input + ": " + (why.empty() ? "holds no node record" : why));
            }
            showProgress("writing the map", 0, 0);
            if (const std::string why = orvo::mapBytesOf(laidOut, mapBytes); !why.empty())
                return fail(why);
            outline = {};
        }
        line.clear();
        if (const int signal = orvo::interruptSignal(); signal != 0) {
            std::cerr << "orvo-publish: interrupted; nothing written\n";
            return 128 + signal;
        }
    }
    if (graph->empty()) return fail(options.input + ": holds no node record");
    if (options.gotoId) {
        const orvo::Node* node = graph->findNode(*options.gotoId);
        if (node == nullptr) return fail("no node has the id \"" + *options.gotoId + "\"");
        if (!node->isShown()) return fail("the node \"" + *options.gotoId + "\" is hidden");
    }

    orvo::WebPageStart start;
    start.title = options.title.empty()
                      ? std::filesystem::path(options.input).filename().string()
                      : options.title;
    if (start.title.empty()) start.title = options.input;
    start.startId = options.gotoId.value_or("");
    start.keys = options.keys;
    const orvo::WebPageGraph page{outline, graph->nodes.size(), mapBytes};
    // Ctrl+C and SIGTERM stop the compression too; nothing is written then.
    const auto report = [&showProgress](std::string_view what, uint64_t done, uint64_t total) {
        showProgress(what, done, total);
        return orvo::interruptSignal() == 0;
    };
    const bool written =
        options.folder.empty()
            ? orvo::writeWebPage(options.output, page, start, parts, error, report)
            : orvo::writeWebFolder(options.folder, page, start, parts, error, report);
    line.clear();
    if (const int signal = orvo::interruptSignal(); signal != 0 && !written) {
        std::cerr << "orvo-publish: interrupted; nothing written\n";
        return 128 + signal;
    }
    if (!written) return fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{
        "Writes a map anyone can open: one HTML file holding the page, the browser program and\n"
        "the graph (compressed), which shows the graph as the viewer does when opened from disk\n"
        "in a current browser, without network or server; --folder DIR writes index.html with\n"
        "the graph and the program beside it instead, for a static web host. INPUT is anything\n"
        "orvo-import reads (a graph file, a site's folder, a directory, a sitemap, an edge list,\n"
        "DOT, GraphML, GEXF, JSON, GML, Pajek, or an address to crawl), with its options."};
    app.name("orvo-publish");
    app.add_option("input", options.input,
                   "The graph file, site directory, directory or file to import, or the "
                   "http:// or https:// address to crawl")
        ->required();
    app.add_option("-o,--output", options.output,
                   "The HTML file to write (written completely or not at all)")
        ->type_name("FILE.html");
    app.add_option("--folder", options.folder,
                   "Write index.html, graph.gz and orvo-web.wasm into this folder instead (made "
                   "when missing), for a web host: a page opened from disk cannot fetch them")
        ->type_name("DIR")
        ->excludes("--output");
    app.add_option("--title", options.title,
                   "The page's title (default: the input's file name)");
    app.add_option("--goto", options.gotoId,
                   "The node at the centre of the start view (default: the file's own view)")
        ->type_name("ID");
    app.add_option("--keys", options.keys,
                   "View keys typed before the first picture, as in the viewer and "
                   "orvo-snapshot (all but \"f\")")
        ->type_name("STRING");
    app.add_flag("--outline", options.outline,
                 "Carry the graph as outline text instead of a map, which the page reads and "
                 "lays out at every visit (slower to open, and at most about 3.5 million "
                 "nodes)");
    app.add_flag("-q,--quiet", options.quiet, "Print no warnings and no progress");
    orvo::addImportOptions(app, options.importLine);
    app.set_version_flag("--version", "orvo-publish " ORVO_VERSION);
    if (const std::optional<int> status = orvo::parseCommandLine(app, argc, argv)) return *status;
    return run(options);
}
