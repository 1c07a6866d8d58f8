// The renderer on the offscreen software rasteriser, with site-shaped generated graphs:
//  (a) nodes drawn in one fresh 50 ms slice, next to a bare loop of the same GL calls (the cube
//      display list through a pushed matrix, one line per node) in the same run; goal >= 80 %;
//  (b) the first slice of a large (1 000 000-node) graph against a 10 000-node graph (goal >= 90 %
//  as
//      many nodes) and the cost of starting a new frame with each (goal: no more with the larger);
//  (c) one pick over the drawnNodes of a full second of refinement, with the pre-filter (goal
//      under 20 ms) and, for reference, without it;
//  (d) the share of a refined frame's time that keeping labels apart costs (goal <= 5 %);
//  (e) a fresh slice and a second of refinement drawn as vertex arrays against per-node calls
//      (goal >= 3 times the nodes), on the 10 000-node and the large graph;
//  (f) the share of the picture a drag into the site shows drawn (a fresh slice, as every drag
//      motion starts a new frame) both ways on the large graph (goal: vertex arrays >= 2 times
//      per-node calls), and at rest after a second of refinement;
//  (g) nodes drawn in one fresh slice by the shader back end (OpenGL ES 3.0, else 3.3 core)
//      against the GL 1.1 vertex arrays, labels off on both (as the browser benchmark measures
//      the page), alternating on the same 100 000-node graph (goal: at least as many);
//  (h) one pick from what the frame drew (no GL call, as the shader back end picks) over the
//      same full second of refinement as (c) (goal under 5 ms).
// A summary with the goals is printed at the end. ORVO_BENCH_LARGE_NODES sets another size for
// the large graph of (b) and (c), such as 10000000.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "bench/bench_environment.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "layout/layout.h"
#include "platform/draw_process.h"
#include "platform/offscreen_surface.h"
#include "render/label_space.h"
#include "render/renderer.h"
#include "tools/site_generator.h"

namespace {

using namespace orvo;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 800, kHeight = 600;

// A renderer on its own offscreen surface with a generated site graph, loaded as the viewer does.
struct Scene {
    ViewerSettings settings;
    OffscreenSurface surface;
    Renderer renderer{settings, surface};
    Graph graph{settings};
    GlContext* context = nullptr;

    explicit Scene(int64_t nodes, GlApi api = GlApi::Compatibility)
        : surface(kWidth, kHeight, api) {
        applyWindowInitialisation(settings);
        context = surface.createContext();
        if (context == nullptr) {
            std::fprintf(stderr, "no GL context: %s\n", surface.lastError().c_str());
            std::exit(1);
        }
        renderer.initContext(context, kWidth, kHeight);
        {
            std::istringstream in(generateSiteGraph(SiteOptions{nodes, 1}));
            if (!readAndLayOut(graph, in)) std::exit(1);
        }
        settings.topNodeIndex = graph.topNodeIndex();
        renderer.setGraph(&graph);
        renderer.resetViewWith(graph.homeTransform());
        applyLoadSettings(graph, settings);
        renderer.updateProjection();
        // Let the rasteriser compile what a frame needs before anything is measured.
        for (int i = 0; i < 2; ++i) refineFully();
    }

    // A frame as the viewer's redraw starts it, then idle steps until refinement stops.
    void refineFully() {
        renderer.drawFrame();
        renderer.setKeepRedrawing(1);
        while (renderer.keepRedrawing()) renderer.idleStep();
    }
};

Scene& scene(int64_t nodes) {
    static std::map<int64_t, std::unique_ptr<Scene>> scenes;
    auto& slot = scenes[nodes];
    if (!slot) slot = std::make_unique<Scene>(nodes);
    return *slot;
}

// The same graph drawn by the shader back end, on the first kind of context Mesa offers; null
// when it offers neither.
Scene* modernScene(int64_t nodes) {
    static std::map<int64_t, std::unique_ptr<Scene>> scenes;
    auto& slot = scenes[nodes];
    if (slot) return slot.get();
    for (const GlApi api : {GlApi::Es3, GlApi::Core33}) {
        OffscreenSurface probe(8, 8, api);
        if (!probe.valid() || probe.createContext() == nullptr) continue;
        slot = std::make_unique<Scene>(nodes, api);
        if (!slot->renderer.backendError().empty()) {
            std::fprintf(stderr, "shader back end: %s\n", slot->renderer.backendError().c_str());
            std::exit(1);
        }
        return slot.get();
    }
    return nullptr;
}

// The node count of the large graph: 1 000 000 unless ORVO_BENCH_LARGE_NODES says otherwise.
int64_t largeNodes() {
    static const int64_t nodes =
        orvo::bench::countFromEnvironment("ORVO_BENCH_LARGE_NODES", 1000000);
    return nodes;
}

// Results for the summary.
std::map<std::string, double> results;

// Nodes the renderer draws in one fresh slice (a new frame).
double rendererSlice(Scene& s, int labels, bool links) {
    s.settings.labelChoice = labels;
    s.settings.linkGenerationLimit = links ? 30 : 0;
    s.renderer.drawFrame();
    s.settings.labelChoice = 2;
    s.settings.linkGenerationLimit = 30;
    return s.renderer.nodesDrawnLastSlice();
}

// The same GL calls without the renderer around them, for one slice: the cube list through a
// pushed matrix and one line per node, over the nodes of the renderer's last frame, on the
// camera, view and GL state that frame left.
double bareSlice(Scene& s, const std::vector<Node*>& nodes) {
    const TimePair slice{s.settings.sliceBudgetSec, s.settings.sliceBudgetUsec};
    s.surface.makeCurrent(s.context);
    s.surface.setDrawBuffer(DrawBuffer::Back);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const TimePair start = currentTime();
    int drawn = 0;
    for (size_t i = 0; currentTime() - start < slice; ++i, ++drawn) {
        const Node* n = nodes[i % nodes.size()];
        glPushMatrix();
        glMultMatrixd(s.graph.globalTransform(*n).m);
        glCallList(3);
        glPopMatrix();
        const Link* k = n->parentLink != nullptr ? n->parentLink : n->children.front()->parentLink;
        const ProjPoint from = s.graph.positionOf(*k->fromNode), to = s.graph.positionOf(*k->toNode);
        glBegin(GL_LINES);
        glColor4fv(s.settings.linkFromColor.data());
        glVertex4d(from.x, from.y, from.z, from.w);
        glColor4fv(s.settings.linkToColor.data());
        glVertex4d(to.x, to.y, to.z, to.w);
        glEnd();
    }
    s.surface.swapBuffers();
    return drawn;
}

// The machine may be shared: the compared runs alternate slice by slice, so that whatever else
// runs weighs on both alike.
void BM_SliceAgainstBareLoop(benchmark::State& state) {
    Scene& s = scene(100000);
    s.renderer.drawFrame();
    const std::vector<Node*> nodes = s.renderer.drawnNodes();
    double renderer = 0, plain = 0, bare = 0, perNode = 0;
    for (auto _ : state) {
        renderer += rendererSlice(s, 2, true);
        bare += bareSlice(s, nodes);
        plain += rendererSlice(s, 0, true);
        s.renderer.setBatchedDrawing(false);
        perNode += rendererSlice(s, 2, true);
        s.renderer.setBatchedDrawing(true);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["renderer"] = results["slice"] = renderer / n;
    state.counters["per_node"] = results["slice per node"] = perNode / n;
    state.counters["no_labels"] = results["slice no labels"] = plain / n;
    state.counters["bare_loop"] = results["bare"] = bare / n;
}

void BM_FirstSlice10kAndLarge(benchmark::State& state) {
    Scene& small = scene(10000);
    Scene& large = scene(largeNodes());
    double sums[4] = {0, 0, 0, 0};
    for (auto _ : state) {
        sums[0] += rendererSlice(small, 2, true);
        sums[1] += rendererSlice(large, 2, true);
        sums[2] += rendererSlice(small, 2, false);
        sums[3] += rendererSlice(large, 2, false);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["10k"] = results["slice 10000"] = sums[0] / n;
    state.counters["large"] = results["slice 1000000"] = sums[1] / n;
    state.counters["10k_no_links"] = results["slice 10000 no links"] = sums[2] / n;
    state.counters["large_no_links"] = results["slice 1000000 no links"] = sums[3] / n;
}

// Nodes a frame has drawn when its refinement, started afresh, stops at its one-second limit.
double refinedSecond(Scene& s) {
    const int32_t sec = s.settings.refineLimitSec, usec = s.settings.refineLimitUsec;
    s.settings.refineLimitSec = 1;
    s.settings.refineLimitUsec = 0;
    s.renderer.drawFrame();
    s.renderer.setKeepRedrawing(1);
    while (s.renderer.idleStep()) {
    }
    s.settings.refineLimitSec = sec;
    s.settings.refineLimitUsec = usec;
    return static_cast<double>(s.renderer.drawnNodes().size());
}

// A fresh slice and a second of refinement drawn as vertex arrays and with per-node calls,
// alternating, on the 10 000-node and the large graph.
void BM_BatchedAgainstPerNode(benchmark::State& state) {
    Scene* scenes[2] = {&scene(10000), &scene(largeNodes())};
    const char* names[2] = {"10000", "large"};
    double sums[2][4] = {};
    for (auto _ : state) {
        for (int g = 0; g < 2; ++g) {
            for (int way = 0; way < 2; ++way) {
                scenes[g]->renderer.setBatchedDrawing(way == 0);
                sums[g][way] += rendererSlice(*scenes[g], 2, true);
                sums[g][2 + way] += refinedSecond(*scenes[g]);
            }
            scenes[g]->renderer.setBatchedDrawing(true);
        }
    }
    const double n = static_cast<double>(state.iterations());
    for (int g = 0; g < 2; ++g) {
        const std::string name = names[g];
        state.counters[name + "_slice_batched"] = results[name + " slice batched"] = sums[g][0] / n;
        state.counters[name + "_slice_per_node"] = results[name + " slice per node"] =
            sums[g][1] / n;
        state.counters[name + "_second_batched"] = results[name + " second batched"] =
            sums[g][2] / n;
        state.counters[name + "_second_per_node"] = results[name + " second per node"] =
            sums[g][3] / n;
    }
}

// One fresh slice each way, labels off, alternating on the same graph.
void BM_ModernAgainstVertexArrays(benchmark::State& state) {
    Scene& legacy = scene(100000);
    Scene* modern = modernScene(100000);
    if (modern == nullptr) {
        state.SkipWithError("Mesa offers neither an OpenGL ES 3.0 nor a 3.3 core context");
        return;
    }
    double sums[2] = {};
    for (auto _ : state) {
        sums[0] += rendererSlice(legacy, 0, true);
        sums[1] += rendererSlice(*modern, 0, true);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["vertex_arrays"] = results["modern legacy slice"] = sums[0] / n;
    state.counters["modern"] = results["modern slice"] = sums[1] / n;
    results["modern es3"] = modern->surface.api() == GlApi::Es3 ? 1 : 0;
}

// The share of the front buffer's pixels that are not background (the sphere is not drawn).
double drawnArea(Scene& s) {
    std::vector<uint8_t> rgba;
    if (!s.surface.readPixels(DrawBuffer::Front, rgba) || rgba.empty()) return 0.0;
    uint8_t background[3];
    for (int c = 0; c < 3; ++c) {
        background[c] = static_cast<uint8_t>(s.settings.backgroundColor[c] * 255.0f + 0.5f);
    }
    size_t drawn = 0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        drawn += rgba[i] != background[0] || rgba[i + 1] != background[1] ||
                 rgba[i + 2] != background[2];
    }
    return static_cast<double>(drawn) / static_cast<double>(rgba.size() / 4);
}

// A drag moves the view into the site, where many nodes share the picture: the view is the one
// that brings the home page's child with the most descendants to the centre (at the home view a
// few thousand nodes fill all the picture the site takes).
void BM_DragDrawnArea(benchmark::State& state) {
    Scene& s = scene(largeNodes());
    const ProjTransform home = s.renderer.viewTransform();
    Node* const homeCentre = s.renderer.centreNode();
    Node* folder = nullptr;
    for (Node* child : s.graph.nodes[s.graph.topNodeIndex()]->children) {
        if (folder == nullptr || child->descendantCount > folder->descendantCount) folder = child;
    }
    s.renderer.gotoNodeView(folder, 1);
    const int32_t sphere = s.settings.drawSphere;
    s.settings.drawSphere = 0;
    s.renderer.drawFrame();  // the centre node settles
    double sums[3] = {};
    for (auto _ : state) {
        for (int way = 0; way < 2; ++way) {
            s.renderer.setBatchedDrawing(way == 0);
            s.renderer.drawFrame();
            sums[way] += drawnArea(s);
        }
        s.renderer.setBatchedDrawing(true);
        refinedSecond(s);
        sums[2] += drawnArea(s);
    }
    s.settings.drawSphere = sphere;
    s.renderer.setViewTransform(home);
    s.renderer.setCentreNode(homeCentre);
    s.refineFully();
    const double n = static_cast<double>(state.iterations());
    state.counters["drag_batched"] = results["drag batched"] = sums[0] / n;
    state.counters["drag_per_node"] = results["drag per node"] = sums[1] / n;
    state.counters["rest"] = results["rest"] = sums[2] / n;
}

// Starting a frame after a 50 ms slice: the marks of that slice are reset, the window cleared,
// the sphere drawn and the buffers swapped (a zero slice draws no node).
double newFrameMs(Scene& s) {
    s.settings.sliceBudgetUsec = 50000;
    s.renderer.drawFrame();
    s.settings.sliceBudgetUsec = 0;
    const auto t0 = Clock::now();
    s.renderer.drawFrame();
    glFinish();
    const double spent = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    s.settings.sliceBudgetUsec = 50000;
    return spent;
}

void BM_NewFrame10kAndLarge(benchmark::State& state) {
    Scene& small = scene(10000);
    Scene& large = scene(largeNodes());
    double smallMs = 0, largeMs = 0;
    for (auto _ : state) {
        smallMs += newFrameMs(small);
        largeMs += newFrameMs(large);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["10k_ms"] = results["new frame 10000"] = smallMs / n;
    state.counters["large_ms"] = results["new frame 1000000"] = largeMs / n;
}

// One pick at the window centre (over the centre node) and one at a point off the tree, over a
// full second of refinement; from what the frame drew, also one in a corner, where nothing is
// and every drawn node is looked at.
void pick(benchmark::State& state, bool prefilter, bool fromDrawn = false) {
    Scene& s = scene(largeNodes());
    s.refineFully();
    s.renderer.setPickPrefilter(prefilter);
    s.renderer.setPickFromDrawn(fromDrawn);
    const int points[3][2] = {
        {kWidth / 2, kHeight / 2}, {kWidth / 2 + 150, kHeight / 2 - 120}, {3, 3}};
    int which = 0;
    double seconds = 0;
    for (auto _ : state) {
        const int* p = points[which++ % (fromDrawn ? 3 : 2)];
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(s.renderer.pick(p[0], p[1]));
        const double spent = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(spent);
        seconds += spent;
    }
    s.renderer.setPickPrefilter(true);
    s.renderer.setPickFromDrawn(false);
    const double drawn = static_cast<double>(s.renderer.drawnNodes().size());
    state.counters["drawn_nodes"] = drawn;
    const std::string key = fromDrawn ? "pick from drawn" : prefilter ? "pick" : "pick unfiltered";
    results[key] = 1e3 * seconds / static_cast<double>(state.iterations());
    results[key + " drawn nodes"] = drawn;
}
void BM_Pick(benchmark::State& state) { pick(state, true); }

// What keeping labels apart costs: every label a refined frame of the large graph considered,
// put in order of size and tested against those placed before it, as the frame does slice by
// slice, against the time the frame took to draw.
void BM_LabelCheckShare(benchmark::State& state) {
    Scene& s = scene(largeNodes());
    s.settings.labelsOverlap = 0;
    const auto t0 = Clock::now();
    s.refineFully();
    const double frameMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    struct Candidate {
        double size;
        LabelBox box;
    };
    std::vector<Candidate> candidates;
    for (const Renderer::DrawnItem& item : s.renderer.drawLog()) {
        const Node& n = *item.node;
        if (item.label < 0 && n.apparentSize > s.renderer.labelLimit() &&
            n.generation < s.settings.nodeGenerationLimit) {
            candidates.push_back({n.apparentSize, s.renderer.labelBoxOf(n)});
        }
    }
    LabelSpace space;
    size_t placed = 0;
    double checkMs = 0;
    for (auto _ : state) {
        std::vector<Candidate> order = candidates;
        const auto c0 = Clock::now();
        std::stable_sort(order.begin(), order.end(),
                         [](const Candidate& a, const Candidate& b) { return a.size > b.size; });
        space.reset(kWidth, kHeight);
        placed = 0;
        for (const Candidate& c : order) {
            if (!space.isFree(c.box)) continue;
            space.add(c.box);
            ++placed;
        }
        checkMs += std::chrono::duration<double, std::milli>(Clock::now() - c0).count();
    }
    checkMs /= static_cast<double>(state.iterations());
    state.counters["candidates"] = static_cast<double>(candidates.size());
    state.counters["placed"] = static_cast<double>(placed);
    state.counters["check_ms"] = results["label check ms"] = checkMs;
    state.counters["frame_ms"] = results["label frame ms"] = frameMs;
    results["label candidates"] = static_cast<double>(candidates.size());
}
void BM_PickUnfiltered(benchmark::State& state) { pick(state, false); }
void BM_PickFromDrawn(benchmark::State& state) { pick(state, true, true); }

BENCHMARK(BM_SliceAgainstBareLoop)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstSlice10kAndLarge)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchedAgainstPerNode)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModernAgainstVertexArrays)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragDrawnArea)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewFrame10kAndLarge)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pick)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickUnfiltered)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickFromDrawn)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LabelCheckShare)->Iterations(10)->Unit(benchmark::kMillisecond);

double result(const std::string& key) {
    const auto found = results.find(key);
    return found == results.end() ? 0.0 : found->second;
}

void printSummary() {
    const double bare = result("bare"), slice = result("slice");
    const double noLabels = result("slice no labels");
    const double small = result("slice 10000"), large = result("slice 1000000");
    const double frameSmall = result("new frame 10000"), frameLarge = result("new frame 1000000");
    std::printf("\nsummary (800x600, one 50 ms slice; large graph %lld nodes)\n",
                static_cast<long long>(largeNodes()));
    if (bare > 0) {
        std::printf(
            "  (a) renderer %.0f nodes, bare loop %.0f: %.0f %% (goal >= 80 %%); "
            "without labels %.0f nodes, %.0f %%\n",
            slice, bare, 100.0 * slice / bare, noLabels, 100.0 * noLabels / bare);
        const double perNode = result("slice per node");
        if (perNode > 0) {
            std::printf("  batched slice %.0f nodes, per-node calls %.0f: %.2f times\n", slice,
                        perNode, slice / perNode);
        }
    }
    if (small > 0) {
        std::printf(
            "  (b) first slice large %.0f nodes, 10k %.0f: %.0f %% (goal >= 90 %%); new frame "
            "large %.2f ms, 10k %.2f ms\n",
            large, small, 100.0 * large / small, frameLarge, frameSmall);
    }
    const double smallBare = result("slice 10000 no links");
    const double largeBare = result("slice 1000000 no links");
    if (smallBare > 0) {
        std::printf("      without tree links: large %.0f nodes, 10k %.0f: %.0f %%\n", largeBare,
                    smallBare, 100.0 * largeBare / smallBare);
    }
    for (const char* name : {"10000", "large"}) {
        const std::string g = name;
        if (result(g + " slice per node") <= 0) continue;
        std::printf(
            "  (e) %s graph, vertex arrays against per-node calls: fresh slice %.0f / %.0f nodes "
            "(%.2f times), one second of refinement %.0f / %.0f (%.2f times; goal >= 3)\n",
            name, result(g + " slice batched"), result(g + " slice per node"),
            result(g + " slice batched") / result(g + " slice per node"),
            result(g + " second batched"), result(g + " second per node"),
            result(g + " second batched") / result(g + " second per node"));
    }
    if (result("modern slice") > 0) {
        std::printf(
            "  (g) fresh slice of the 100000-node graph, labels off: shaders and buffers (%s) %.0f "
            "nodes, GL 1.1 vertex arrays %.0f (%.2f times; goal >= 1)\n",
            result("modern es3") > 0 ? "ES 3.0" : "3.3 core", result("modern slice"),
            result("modern legacy slice"), result("modern slice") / result("modern legacy slice"));
    }
    if (result("drag per node") > 0) {
        std::printf(
            "  (f) drawn share of the picture during a drag, large graph: vertex arrays %.1f %%, "
            "per-node calls %.1f %% (%.2f times; goal >= 2); at rest after a second %.1f %%\n",
            100.0 * result("drag batched"), 100.0 * result("drag per node"),
            result("drag batched") / result("drag per node"), 100.0 * result("rest"));
    }
    if (result("label frame ms") > 0) {
        std::printf(
            "  (d) labels kept apart: %.0f candidates of a refined frame checked in %.2f ms, "
            "%.2f %% of the frame's %.0f ms (goal <= 5 %%)\n",
            result("label candidates"), result("label check ms"),
            100.0 * result("label check ms") / result("label frame ms"), result("label frame ms"));
    }
    if (result("pick") > 0) {
        std::printf(
            "  (c) pick over %.0f drawn nodes: %.2f ms with the pre-filter (goal < 20 ms); over "
            "%.0f without it: %.1f ms\n",
            result("pick drawn nodes"), result("pick"), result("pick unfiltered drawn nodes"),
            result("pick unfiltered"));
    }
    if (result("pick from drawn") > 0) {
        std::printf("  (h) pick from what the frame drew over %.0f drawn nodes: %.3f ms (goal < 5 ms)\n",
                    result("pick from drawn drawn nodes"), result("pick from drawn"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The software rasteriser re-faults its per-frame memory when the heap is trimmed.
    keepHeapForDrawing();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
