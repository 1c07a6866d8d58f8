// orvo-snapshot: draws a graph file headless, as the viewer shows it right after opening it (the
// first frame and, unless told otherwise, the idle refinement), and writes the picture as a PNG.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glue/draw_report.h"
#include "glue/failure_text.h"
#include "glue/glue.h"
#include "glue/legend_picture.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/node_measures.h"
#include "memory/atomic_file.h"
#include "memory/program_end.h"
#include "platform/draw_process.h"
#include "platform/offscreen_surface.h"
#include "platform/png_image.h"
#include "render/measure_colouring.h"
#include "tools/command_line.h"
#include "tools/tool_input.h"
#include "viewer/viewer.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kMaxSide = 16384;

struct Options {
    std::string file;
    std::string output;
    std::string size = "800x600";
    std::optional<std::string> gotoId;
    int scheme = -1;
    std::optional<std::string> keys;
    std::vector<std::string> hide;  // legend rows clicked: group names, "other", "no group"
    bool noRefine = false;
    std::optional<double> refineLimit;  // seconds; the viewer's own limit when not given
    bool overlappingLabels = false;
    bool legend = false;
    std::optional<std::string> colourBy;  // a measure's name
    std::string labelOrder = "size";
    std::optional<std::string> report;
    std::optional<std::string> pickAt;
    std::string gl = "auto";
    uint64_t regionAbove = orvo::kRegionAboveNodes;
    uint64_t regionNodes = orvo::kRegionNodes;
    // The same picture drawn with per-node calls rather than vertex arrays, for measurements
    // against the slower way; set by ORVO_SNAPSHOT_PER_NODE_DRAWING=1, not offered to users.
    bool perNodeDrawing = false;
};

// Two numbers of at most five digits on either side of one of the separators, each at least
// `least`: "800x600", "12,40".
bool parsePair(const std::string& text, const char* separators, int least, int& first,
               int& second) {
    const size_t at = text.find_first_of(separators);
    if (at == std::string::npos) return false;
    auto number = [least](const std::string& s, int& out) {
        if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        out = std::stoi(s);
        return out >= least;
    };
    return number(text.substr(0, at), first) && number(text.substr(at + 1), second);
}

bool parsePoint(const std::string& text, int& x, int& y) { return parsePair(text, ",", 0, x, y); }

bool parseSize(const std::string& text, int& width, int& height) {
    return parsePair(text, "xX", 1, width, height) && width <= kMaxSide && height <= kMaxSide;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "orvo-snapshot: %s\n", message.c_str());
    return kExitFailure;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "orvo-snapshot: %s\nRun with --help for more information.\n",
                 message.c_str());
    return orvo::kExitUsage;
}

int run(const Options& options) {
    int width = 0, height = 0;
    if (!parseSize(options.size, width, height)) {
        return usage("--size wants WIDTHxHEIGHT, each from 1 to " + std::to_string(kMaxSide) +
                     ", not \"" + options.size + "\"");
    }
    int pickX = 0, pickY = 0;
    if (options.pickAt &&
        (!parsePoint(*options.pickAt, pickX, pickY) || pickX >= width || pickY >= height)) {
        return usage(
            "--pick wants X,Y, a pixel of the picture (0,0 is its top left corner), "
            "not \"" +
            *options.pickAt + "\"");
    }
    if (options.output.empty() && !options.report && !options.pickAt) {
        return usage("nothing to write: give --output, --report or --pick");
    }
    // "f" would wait for a line on standard input, which a picture cannot show.
    if (options.keys && options.keys->find('f') != std::string::npos) {
        return usage(
            "--keys cannot take \"f\" (it reads an id from standard input); bring "
            "the node to the centre with --goto ID");
    }
    if (const std::string problem = orvo::unopenableInput(options.file); !problem.empty()) {
        return fail(problem);
    }

    // "auto" is the shader back end where Mesa makes a context for it, else the GL 1.1 path.
    std::unique_ptr<orvo::OffscreenSurface> made;
    std::string contextErrors;
    if (options.gl != "legacy") {
        // OpenGL ES 3.0 first (what a browser's WebGL 2 offers), else desktop GL 3.3 core.
        for (const orvo::GlApi api : {orvo::GlApi::Es3, orvo::GlApi::Core33}) {
            auto candidate = std::make_unique<orvo::OffscreenSurface>(width, height, api);
            if (candidate->valid() && candidate->createContext() != nullptr) {
                made = std::move(candidate);
                break;
            }
            contextErrors += std::string(contextErrors.empty() ? "" : "; ") +
                             orvo::glApiName(api) + ": " + candidate->lastError();
        }
        if (!made && options.gl == "modern") {
            return fail("no OpenGL ES 3.0 or 3.3 core context: " + contextErrors);
        }
    }
    if (!made) made = std::make_unique<orvo::OffscreenSurface>(width, height);
    orvo::OffscreenSurface& surface = *made;
    if (!surface.valid()) return fail("no offscreen GL display: " + surface.lastError());
    // The viewer is set up, sized and loaded exactly as the window glue does it for a window.
    // Every input the viewer opens: graph files, and through the importers folders, sitemaps,
    // edge lists, DOT and GraphML.
    orvo::Glue glue(orvo::toolInputConverter());
    glue.setBuildSearchIndex(false);  // nobody searches here
    glue.setMapRegions(options.regionAbove, options.regionNodes);
    // The measures colour, order the labels, or serve the keys that choose either.
    const bool needsMeasures =
        options.colourBy || options.labelOrder == "score" ||
        (options.keys && options.keys->find_first_of("MP") != std::string::npos);
    glue.setComputeMeasures(needsMeasures);
    glue.initViewer(surface, width, height);
    glue.reshapeViewer(width, height);
    const int opened = glue.openGraphFile(options.file);
    for (const std::string& warning : glue.openWarnings()) {
        std::fprintf(stderr, "orvo-snapshot: warning: %s\n", warning.c_str());
    }
    if (!opened) {
        if (glue.noContext()) {
            std::fprintf(stdout, "%s\n", glue.openError().c_str());  // the driver's own words
        } else if (!glue.openError().empty()) {
            std::fprintf(stderr, "orvo-snapshot: %s\n", glue.openError().c_str());
        }
        return kExitFailure;
    }
    // A map read a region at a time has its large sections checked before the picture is
    // written: the check reads the file while the picture is drawn.
    glue.startMapCheck();
    orvo::Viewer& viewer = *glue.viewer();
    orvo::Graph& graph = *viewer.graph();
    if (const std::string problem = viewer.renderer().backendError(); !problem.empty()) {
        return fail("the modern back end cannot draw: " + problem);
    }

    if (options.scheme >= 0) {
        const orvo::ColourScheme& scheme = orvo::kColourSchemes[options.scheme];
        viewer.setBackgroundColor(scheme.background[0], scheme.background[1], scheme.background[2]);
        viewer.setSphereColor(scheme.sphere[0], scheme.sphere[1], scheme.sphere[2]);
        viewer.setLabelColor(scheme.label[0], scheme.label[1], scheme.label[2]);
    }

    viewer.setLabelsOverlap(options.overlappingLabels ? 1 : 0);
    // Waited for before the first frame, which the window draws while they are computed.
    if (needsMeasures) glue.waitForMeasures();
    if (options.colourBy) glue.setColourBy(*orvo::measureNamed(*options.colourBy));
    if (options.labelOrder == "score") glue.setLabelsByScore(true);
    viewer.renderer().setBatchedDrawing(!options.perNodeDrawing);
    // Set before the first frame: a go-to and the keys draw frames too, and the node a frame
    // finds nearest the centre starts the next one, so a frame cut short by time would change
    // the picture.
    if (options.refineLimit) {
        const auto micros = static_cast<int64_t>(*options.refineLimit * 1e6 + 0.5);
        viewer.settings().refineLimitSec = static_cast<int32_t>(micros / 1000000);
        viewer.settings().refineLimitUsec = static_cast<int32_t>(micros % 1000000);
    }
    if (!options.noRefine) drawFramesInOneSlice(viewer.settings());

    // As clicks on the legend's rows, in the legend of the kind coloured.
    if (!options.hide.empty()) {
        const orvo::Legend legend = glue.legend(orvo::kLegendRows);
        for (const std::string& name : options.hide) {
            const auto row = std::find_if(legend.rows.begin(), legend.rows.end(),
                                          [&](const orvo::LegendRow& r) { return r.name == name; });
            if (row == legend.rows.end()) {
                return fail("the legend has no row \"" + name + "\" (" + legend.title + ")");
            }
            if (!row->hidden) glue.toggleLegendRow(legend.kind, *row);
        }
    }

    if (options.gotoId) {
        glue.holdNode(*options.gotoId);  // a map shown a region at a time: the region around it
        const orvo::Node* node = graph.findNode(*options.gotoId);
        if (node == nullptr) return fail("no node has the id \"" + *options.gotoId + "\"");
        if (!node->isShown()) return fail("the node \"" + *options.gotoId + "\" is hidden");
        // Re-lays the tree out from a node too far from the layout's start, as the viewer does.
        if (viewer.gotoNode(*options.gotoId, 1) != 1) {
            return fail("cannot bring \"" + *options.gotoId + "\" to the centre");
        }
    }

    // Each character as if typed into the view ("f" reads its id from standard input).
    if (options.keys) {
        for (const char key : *options.keys) glue.keyViewer(static_cast<unsigned char>(key));
    }

    // As the viewer's redraw: a frame, and idle refinement asked for.
    viewer.redraw();
    if (!options.noRefine) {
        while (glue.idleViewer() != 0) {
        }
    }

    // A map read a region at a time has its large sections checked after the picture.
    if (const std::string problem = glue.waitForMapCheck(); !problem.empty()) {
        return fail(orvo::failureText("cannot draw", options.file, problem));
    }

    std::string error;
    if (!options.output.empty()) {
        std::vector<uint8_t> rgba;
        if (!surface.readPixels(orvo::DrawBuffer::Front, rgba)) {
            return fail("cannot read the picture");
        }
        // Under --colour-by, the measure's legend, as the window shows it.
        const orvo::MeasureLegend measureLegend = glue.measureLegend();
        if (options.legend && !orvo::drawViewLegend(rgba, width, height, graph, viewer.settings(),
                                                    error, &measureLegend)) {
            return fail(error);
        }
        if (!orvo::writePng(options.output, width, height, rgba, orvo::RowOrder::BottomUp, error)) {
            return fail(error);  // it names the file
        }
    }
    if (options.report) {
        const std::string csv = orvo::drawReportCsv(viewer.renderer());
        const auto write = [&](const std::string&, std::FILE* out, std::string&) {
            return std::fwrite(csv.data(), 1, csv.size(), out) == csv.size();
        };
        if (!orvo::writeFileAtomically(*options.report, write, error)) {
            return fail("cannot write \"" + *options.report + "\": " + error);
        }
    }
    if (options.pickAt) {
        const std::string id = orvo::idAtPixel(viewer.renderer(), pickX, pickY);
        if (!id.empty()) std::printf("%s\n", id.c_str());
    }
    // Every output is written and closed: the process ends without freeing the graph.
    return orvo::endProgram(std::fflush(stdout) == 0 ? 0 : kExitFailure);
}

}  // namespace

int main(int argc, char** argv) {
    // The software rasteriser re-faults its per-frame memory when the heap is trimmed.
    orvo::keepHeapForDrawing();

    Options options;
    CLI::App app{"Draws a graph file as the viewer shows it after opening it, into a PNG file.",
                 "orvo-snapshot"};
    app.set_version_flag("--version", "orvo-snapshot " ORVO_VERSION);
    app.add_option("FILE", options.file,
                   "graph file to draw, or a folder, sitemap, edge list, DOT or GraphML file")
        ->required();
    app.add_option("-o,--output", options.output, "PNG file to write");
    app.add_option("--size", options.size, "picture size WIDTHxHEIGHT (default 800x600)");
    app.add_option("--goto", options.gotoId, "bring the node with this id to the centre first");
    app.add_option("--scheme", options.scheme, "colour scheme 0, 1 or 2")->check(CLI::Range(0, 2));
    app.add_option("--keys", options.keys,
                   "keyboard commands, as if typed into the view (all but \"f\", which reads "
                   "standard input: use --goto)");
    app.add_option("--hide", options.hide,
                   "hide the nodes of a group as a click on its legend row does (repeatable): a "
                   "group of the kind coloured, \"other\" or \"no group\"; what hangs below them "
                   "stays, each hidden node a small grey dot")
        ->allow_extra_args(false);
    app.add_flag("--no-refine", options.noRefine, "only the first time slice, no idle refinement");
    app.add_option("--regions-above", options.regionAbove,
                   "a map of more nodes than this is read a region at a time, around the view "
                   "(default " + std::to_string(orvo::kRegionAboveNodes) + "; 0: every map whole)");
    app.add_option("--region-nodes", options.regionNodes,
                   "about how many nodes such a region holds (default " +
                       std::to_string(orvo::kRegionNodes) + ")")
        ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 32));
    app.add_option("--refine-limit", options.refineLimit,
                   "seconds of refinement at the most (default 1, as in the viewer); a large "
                   "value draws the whole graph however slow the machine")
        ->check(CLI::Range(0.0, 86400.0));
    app.add_flag("--overlapping-labels", options.overlappingLabels,
                 "every label of a large enough node, overlaps and all (by default a label that "
                 "would overlap one drawn before it is left out)");
    app.add_flag("--legend", options.legend,
                 "draw the legend into the picture's top left corner: each group of the kind "
                 "being coloured with its colour and node count, largest first; with --colour-by "
                 "the measure's colour ramp with the values at its ends");
    app.add_option("--colour-by", options.colourBy,
                   "colour the nodes by a measure instead of their groups, light for more: "
                   "depth, in (links in), out (links out), subtree (its nodes) or score (link "
                   "score); in, subtree and score on a log scale")
        ->check(CLI::IsMember({"depth", "in", "out", "subtree", "score"}));
    app.add_option("--label-order", options.labelOrder,
                   "which label wins where labels compete for room: size (the larger node, the "
                   "default) or score (the higher link score)")
        ->check(CLI::IsMember({"size", "score"}));
    app.add_option("--report", options.report,
                   "write a CSV line for each node cube and each label drawn: kind, id and the "
                   "window rectangle x0,y0,x1,y1 (top left origin), in drawing order");
    app.add_option("--pick", options.pickAt,
                   "print the id of what is drawn at pixel X,Y of the picture (top left origin): "
                   "a node's id, a link's FROM|TO, nothing when nothing is there");
    app.add_option("--gl", options.gl,
                   "the GL drawing path: legacy (OpenGL 1.1 fixed functions), modern (shaders "
                   "and buffers on OpenGL ES 3.0 or 3.3 core), or auto (modern where Mesa "
                   "offers such a context, else legacy); default: auto")
        ->check(CLI::IsMember({"auto", "legacy", "modern"}));
    const char* perNode = std::getenv("ORVO_SNAPSHOT_PER_NODE_DRAWING");
    options.perNodeDrawing = perNode != nullptr && std::string_view(perNode) == "1";
    if (const std::optional<int> status = orvo::parseCommandLine(app, argc, argv)) return *status;
    return run(options);
}
