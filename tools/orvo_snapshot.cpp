// orvo-snapshot: draws a graph file headless, as the viewer shows it right after opening it (the
// first frame and, unless told otherwise, the idle refinement), and writes the picture as a PNG.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "platform/draw_process.h"
#include "platform/offscreen_surface.h"
#include "platform/png_image.h"
#include "render/renderer.h"
#include "viewer/viewer_settings.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kMaxSide = 16384;
// The viewer re-lays the tree out from a node this far from the layout's start (cosh of the
// distance) before travelling to it.
constexpr double kRelayoutDepth = 100.0;

struct Options {
    std::string file;
    std::string output;
    std::string size = "800x600";
    std::optional<std::string> gotoId;
    int scheme = -1;
    std::optional<std::string> keys;
    bool noRefine = false;
};

bool parseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    auto number = [](const std::string& s, int& out) {
        if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        out = std::stoi(s);
        return out >= 1 && out <= kMaxSide;
    };
    return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

// The settings as the window glue leaves them after creating the viewer.
void applyWindowSettings(orvo::ViewerSettings& s) {
    s.loadFlags = orvo::kWindowLoadFlags;
    s.dragDecimation = 0;
    s.passiveDecimation = 2;
    s.drawSphere = 1;
    s.labelChoice = 2;
    s.animationStep = 0.0833f;
    s.redCentreNode = 0;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "orvo-snapshot: %s\n", message.c_str());
    return kExitFailure;
}

int run(const Options& options) {
    int width = 0, height = 0;
    if (!parseSize(options.size, width, height)) {
        return fail("--size wants WIDTHxHEIGHT, each from 1 to " + std::to_string(kMaxSide) +
                    ", not \"" + options.size + "\"");
    }
    if (options.keys) return fail("--keys: keyboard commands are not available yet");

    std::ifstream in(options.file, std::ios::binary);
    if (!in) return fail("cannot open \"" + options.file + "\"");

    orvo::ViewerSettings settings;
    applyWindowSettings(settings);
    orvo::OffscreenSurface surface(width, height);
    if (!surface.valid()) return fail("no offscreen GL display: " + surface.lastError());
    orvo::Renderer renderer(settings, surface);
    orvo::GlContext* context = surface.createContext();
    if (context == nullptr) return fail("no GL context: " + surface.lastError());
    renderer.initContext(context, width, height);

    orvo::Graph graph(settings, in);
    if (graph.empty()) return fail("\"" + options.file + "\" holds no node record");
    renderer.setGraph(&graph);
    renderer.resetViewWith(graph.homeTransform());
    settings.groupColumn = 0;
    for (const orvo::GroupColourEntry& e : orvo::kGroupColourTable) {
        graph.setGroupColor(e.kind, e.name, e.red, e.green, e.blue);
    }
    settings.useWindowAspect = 1;
    renderer.updateProjection();
    settings.pickBudgetSec = 5;
    settings.pickBudgetUsec = 0;

    if (options.scheme >= 0) {
        const orvo::ColourScheme& scheme = orvo::kColourSchemes[options.scheme];
        for (int i = 0; i < 3; ++i) {
            settings.backgroundColor[i] = scheme.background[i];
            settings.sphereColor[i] = scheme.sphere[i];
            settings.labelColor[i] = scheme.label[i];
        }
        renderer.setClearColour();
        renderer.buildSphereList();
    }

    if (options.gotoId) {
        orvo::Node* node = graph.findNode(*options.gotoId);
        if (node == nullptr) return fail("no node has the id \"" + *options.gotoId + "\"");
        if (!node->isShown()) return fail("the node \"" + *options.gotoId + "\" is hidden");
        if (node->globalTransform.at(3, 3) > kRelayoutDepth) graph.relayoutFrom(node);
        if (renderer.gotoNodeView(node, 1) != 1) {
            return fail("cannot bring \"" + *options.gotoId + "\" to the centre");
        }
    }

    // As the viewer's redraw: a frame, and idle refinement asked for.
    renderer.drawFrame();
    renderer.setKeepRedrawing(1);
    if (!options.noRefine) {
        while (renderer.keepRedrawing() != 0) renderer.idleStep();
    }

    std::vector<uint8_t> rgba;
    if (!surface.readPixels(orvo::DrawBuffer::Front, rgba)) return fail("cannot read the picture");
    std::string error;
    if (!orvo::writePng(options.output, width, height, rgba, orvo::RowOrder::BottomUp, error)) {
        return fail("cannot write \"" + options.output + "\": " + error);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The software rasteriser re-faults its per-frame memory when the heap is trimmed.
    orvo::keepHeapForDrawing();

    Options options;
    CLI::App app{"Draws a graph file as the viewer shows it after opening it, into a PNG file."};
    app.set_version_flag("--version", "orvo-snapshot " ORVO_VERSION);
    app.add_option("FILE", options.file, "graph file to draw")->required();
    app.add_option("-o,--output", options.output, "PNG file to write")->required();
    app.add_option("--size", options.size, "picture size WIDTHxHEIGHT (default 800x600)");
    app.add_option("--goto", options.gotoId, "bring the node with this id to the centre first");
    app.add_option("--scheme", options.scheme, "colour scheme 0, 1 or 2")->check(CLI::Range(0, 2));
    app.add_option("--keys", options.keys, "keyboard commands to apply first (not available yet)");
    app.add_flag("--no-refine", options.noRefine, "only the first time slice, no idle refinement");
    CLI11_PARSE(app, argc, argv);
    return run(options);
}
