// The module's entry points for the page: read a graph file handed over in memory, lay it out as
// the desktop does, and tell what came of it (orvo_open and the calls on its handle); and a view
// on a canvas (orvo_view_*) that reads an outline or a map, draws the graph through WebGL 2 as
// the desktop window does, slice by slice, and takes the pointer and the keys. The page owns
// every handle it is given and gives it back with orvo_close or orvo_view_close.
#include <emscripten/emscripten.h>
#include <GLES3/gl3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include <vector>

#include "glue/draw_report.h"
#include "glue/group_legend.h"
#include "glue/key_status.h"
#include "glue/key_table.h"
#include "glue/keys.h"
#include "glue/legend_actions.h"
#include "glue/links_list.h"
#include "glue/map_regions.h"
#include "glue/measure_choices.h"
#include "glue/status_text.h"
#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/node_measures.h"
#include "graph/node_search.h"
#include "graph/positions_csv.h"
#include "layout/layout.h"
#include "mapfile/map_pack.h"
#include "mapfile/map_reader.h"
#include "mapfile/map_region.h"
#include "settings/viewer_settings.h"
#include "viewer/viewer.h"
#include "web/byte_stream.h"
#include "web/webgl_surface.h"

namespace orvo::web {

struct LoadedGraph {
    ViewerSettings settings;
    std::unique_ptr<Graph> graph;
    std::string error;      // why the load failed; empty when it did not
    std::string topId;      // the node the layout started from; empty without one
    std::string positions;  // made when first asked for
};

/// Frees a block the page allocated in the module's memory.
struct FreeBlock {
    void operator()(unsigned char* block) const { std::free(block); }
};

/// A graph on view on a canvas, with what the page asks about it.
struct WebView {
    explicit WebView(std::string canvas) : surface(std::move(canvas)), viewer(surface) {}

    WebGlSurface surface;
    // Before the viewer, whose renderer points into it: it goes after the viewer.
    MeasureChoices measures;
    Viewer viewer;
    KeyCommands keys;
    int width = 1, height = 1;
    bool loaded = false;
    bool buttonHeld = false;
    bool restPending = false;   // a hover the decimation dropped, picked when the pointer rests
    int restX = 0, restY = 0;
    std::string error;
    std::string clicked;        // what the last click picked: a node id, "from|to" or ""
    std::string selected;       // the node the last click selected
    std::string hovered;        // kept for the page while it reads it
    std::string keyMessage;     // what the last key command did, for the status line
    std::string measuresError;  // why the measures of the graph on view could not be worked out
    std::string text;           // the last text handed to the page, kept while it reads it
    NodeSearchIndex search;     // built at the first search
    LinksList links;            // the Links panel's rows: a node's links in and out
    GroupTallies tallies;       // of the graph on view, for its legend (the whole map's)
    std::vector<uint8_t> pixels;
    // A map shown a region at a time reads the block it was unpacked in, kept here while the
    // regions are open: they go first.
    std::unique_ptr<unsigned char, FreeBlock> mapBlock;
    MapRegions regions;
};

namespace {

const Node* topNode(const Graph& graph) {
    const int32_t top = graph.topNodeIndex();
    return top >= 0 && size_t(top) < graph.nodes.size() ? graph.nodes[size_t(top)] : graph.root;
}

bool writePositions(const Graph& graph, std::string& out, std::string& error) {
    char* text = nullptr;
    size_t length = 0;
    std::FILE* stream = open_memstream(&text, &length);
    if (stream == nullptr) {
        error = "out of memory for the positions";
        return false;
    }
    const bool written = writePositionsCsv(stream, graph);
    const bool closed = std::fclose(stream) == 0;
    if (written && closed && text != nullptr) out.assign(text, length);
    std::free(text);
    if (!(written && closed)) error = "out of memory for the positions";
    return written && closed;
}

// Mouse event slots and their built-in actions, bound as the desktop window binds them.
constexpr int kSlotLeftButton = 0, kSlotLeftDrag = 3, kSlotRightDrag = 5, kSlotPassive = 6;
constexpr int kActionHover = 0, kActionClick = 1, kActionTranslate = 2, kActionRotate = 3;

// A click selects what it picked and flies there, as in the desktop window: a node to the
// centre, a point of a link too; the node selected before is unselected (so a second click on
// the same node unselects it).
void onPicked(WebView& view, const std::string& id) {
    Viewer& v = view.viewer;
    view.clicked = id;
    if (id.find('|') != std::string::npos) v.centrePoint(0);
    v.selectNode(id, 1);
    v.selectNode(view.selected, 0);
    if (v.gotoNode(id, 0) == 1) {
        if (const Node* node = v.graph()->findNode(id)) {
            view.keyMessage = flyingToText(*v.graph(), *node);
        }
    }
    v.redraw();
    view.selected = id;
}

void setUp(WebView& view) {
    Viewer& v = view.viewer;
    applyWindowInitialisation(v.settings());
    v.bindMouse(kSlotLeftButton, kActionClick);
    v.bindMouse(kSlotPassive, kActionHover);
    v.bindMouse(kSlotLeftDrag, kActionTranslate);
    v.bindMouse(kSlotRightDrag, kActionRotate);
    v.setPickCallback([&view](const std::string& id, int, int) { onPicked(view, id); });
}

// Puts a graph read in full on view on a fresh context, as the desktop window opens a file: the
// boundary sphere first, then the graph with the settings a load applies. The measures a map
// carried (empty for an outline, or a map from before they were kept) are taken as they are.
// A map shown a region at a time comes with its regions and the block they read; any other
// graph closes the regions of the one before.
bool show(WebView& view, std::unique_ptr<Graph> fresh, NodeMeasures carried,
          MapRegions* regions = nullptr, std::unique_ptr<unsigned char, FreeBlock> block = {}) {
    Viewer& v = view.viewer;
    GlContext* context = view.surface.createContext();
    if (context == nullptr) {
        view.error = view.surface.lastError();
        return false;
    }
    applyLoadProjection(v.settings());
    v.setContext(context, view.width, view.height);
    if (const std::string problem = v.renderer().backendError(); !problem.empty()) {
        view.error = "WebGL 2 cannot draw the graph: " + problem;
        return false;
    }
    // The old graph's measures go with it; the choices made stay for the new one.
    view.measures.forget(v.renderer());
    view.measuresError.clear();
    view.links.clear();  // it points into the old graph
    view.search.clear();  // it points into the old graph's ids, or the old map's
    // The old block goes after the regions that read it; the limits stay for the next map.
    view.regions = regions != nullptr ? std::move(*regions) : view.regions.limitsOnly();
    view.mapBlock = std::move(block);
    view.regions.setRelayoutOf(v);
    v.showGraph(std::move(fresh));
    view.tallies =
        view.regions.active() ? view.regions.tallies(*v.graph()) : tallyGroups(*v.graph());
    applyLoadSettings(*v.graph(), v.settings(), view.tallies);
    v.renderer().updateProjection();
    v.renderer().prepareFrames();
    if (!carried.empty()) {
        view.measures.take(std::move(carried));
        view.measures.apply(v.renderer(), *v.graph());
        view.links.setMeasures(&view.measures.measures());
    }
    view.loaded = true;
    view.clicked.clear();
    view.selected.clear();
    view.keyMessage.clear();
    // The legend shows by itself where colours come from the palette, as in the desktop window.
    view.keys.setToggle('G', coloursNeedLegend(view.tallies, v.settings().groupColumn) ? 1 : 0);
    // A comparison opens coloured by its statuses: "g" goes on from there.
    view.keys.setToggle('g', v.settings().groupColumn);
    return true;
}

// Reads and lays out an outline's text, then puts it on view.
bool load(WebView& view, const char* bytes, size_t length) {
    ByteStream in(bytes, length);
    std::unique_ptr<Graph> fresh = view.viewer.readGraph(in);
    if (!fresh || fresh->empty()) {
        view.error = "the file holds no node record";
        return false;
    }
    return show(view, std::move(fresh), {});
}

// Reads a map, laid out already and with its measures, then puts it on view: 1, or -1 when the
// bytes are no whole map (the error says what of it is wrong), or 0 when it cannot be shown.
int loadMap(WebView& view, const unsigned char* bytes, size_t length) {
    auto fresh = std::make_unique<Graph>(view.viewer.settings());
    NodeMeasures carried;
    if (std::string why = readMapBytes(bytes, length, *fresh, &carried); !why.empty()) {
        view.error = std::move(why);
        return -1;
    }
    if (fresh->empty()) {
        view.error = "it holds no node";
        return -1;
    }
    return show(view, std::move(fresh), std::move(carried)) ? 1 : 0;
}

// Unpacks a packed map in its block, which the view takes, and puts it on view: read whole, or,
// above the regions' size, a region at a time from the block, which the view then keeps. As
// loadMap returns.
int loadPackedMap(WebView& view, std::unique_ptr<unsigned char, FreeBlock> block,
                  size_t blockBytes, size_t packBytes) {
    if (std::string why = unpackMapInPlace(block.get(), blockBytes, packBytes); !why.empty()) {
        view.error = "its packed map is damaged: " + why;
        return -1;
    }
    if (!view.regions.wantsNodes(peekMapNodeCount(block.get(), blockBytes)))
        return loadMap(view, block.get(), blockBytes);
    MapRegions regions = view.regions.limitsOnly();
    auto fresh = std::make_unique<Graph>(view.viewer.settings());
    if (std::string why = regions.openBytes(block.get(), blockBytes, *fresh); !why.empty()) {
        view.error = std::move(why);
        return -1;
    }
    // Without their link scores the measures wait for orvo_view_work_out_measures.
    NodeMeasures carried = regions.takeMeasures();
    if (regions.linkScoresPending()) carried = NodeMeasures{};
    return show(view, std::move(fresh), std::move(carried), &regions, std::move(block)) ? 1 : 0;
}

// Puts the region on view that the view's regions built last, the view staying where it is:
// the nodes the two regions share stand where they stood (both are placed as the whole map is).
// The search index stays: it reads the map's ids, not the region's.
void showNewRegion(WebView& view, std::unique_ptr<Graph> region) {
    Viewer& v = view.viewer;
    view.links.clear();  // it points into the old region
    view.measures.forget(v.renderer());
    v.swapGraphKeepingView(std::move(region));
    // The colouring chosen since the load (a key, the start view) stays.
    applyGroupColours(*v.graph(), view.tallies);
    if (!view.regions.linkScoresPending()) {
        view.measures.take(view.regions.takeMeasures());
        view.measures.apply(v.renderer(), *v.graph());
        view.links.setMeasures(&view.measures.measures());
    }
    if (!view.selected.empty()) v.selectNode(view.selected, 1);
    v.redraw();
}

// Builds the region around map node m (a full one, or a small one at once) and puts it on view;
// false, the status line saying why, when it cannot be built.
bool showRegionAround(WebView& view, uint32_t m, bool full) {
    auto fresh = std::make_unique<Graph>(view.viewer.settings());
    if (const std::string why = view.regions.rebuild(m, *fresh, full); !why.empty()) {
        view.keyMessage = "Cannot show that part of the map: " + why + ".";
        return false;
    }
    showNewRegion(view, std::move(fresh));
    return true;
}

// Whether the graph on view holds the node with that id: for a map shown a region at a time,
// the region around the node is put on view first when the map has the node.
bool holdNode(WebView& view, const std::string& id) {
    if (view.viewer.graph()->findNode(id) != nullptr) return true;
    if (!view.regions.active()) return false;
    const int64_t m = view.regions.findNode(id);
    return m >= 0 && showRegionAround(view, static_cast<uint32_t>(m), false);
}

// What the view's regions want once the frame on view is finished: the full region in place of
// the small one built at once, or a region around the centre when the view nears the edge of
// the one on view.
bool regionWanted(WebView& view, uint32_t& focus) {
    if (!view.loaded || !view.regions.active()) return false;
    const Node* centre = view.viewer.renderer().centreNode();
    if (view.regions.nearEdge(*view.viewer.graph(), centre)) {
        focus = view.regions.mapIndexOf(*centre);
        return true;
    }
    focus = view.regions.region().focus;
    return view.regions.wantsFull();
}

// As a click on the node, except that the node ends up selected even when it already was (a
// search, Back and Forward, a link to the node).
bool travel(WebView& view, const std::string& id) {
    if (!view.loaded || !holdNode(view, id)) return false;
    Viewer& v = view.viewer;
    const Node* node = v.graph()->findNode(id);
    if (node == nullptr || !node->isShown()) return false;
    if (view.selected != id) v.selectNode(view.selected, 0);
    v.selectNode(id, 1);
    view.selected = id;
    v.gotoNode(id, 0);
    view.keyMessage = flyingToText(*v.graph(), *node);
    v.redraw();
    return true;
}

// The row of the legend on view, as orvo_view_legend lists them; nullptr past the last.
const LegendRow* legendRow(WebView& view, Legend& legend, int row) {
    legend = groupLegend(*view.viewer.graph(), view.tallies, kLegendRows);
    return row >= 0 && size_t(row) < legend.rows.size() ? &legend.rows[size_t(row)] : nullptr;
}

// The node the last hover highlighted; nullptr when the pointer is on no node.
const Node* hoveredNode(WebView& view) {
    if (!view.loaded) return nullptr;
    return view.viewer.renderer().nodeNamed(view.viewer.renderer().hoveredName());
}

// The measures' keys: the measures live here, the viewer draws only what they colour.
void applyMeasureKey(WebView& view, char key) {
    MeasureChoices& m = view.measures;
    if (key == 'M') {
        view.keyMessage = m.cycleColourBy();
        if (m.colourBy()) view.keys.setToggle('G', 1);  // a ramp is read from its legend
    } else {
        view.keyMessage = m.setLabelsByScore(!m.labelsByScore());
    }
    m.apply(view.viewer.renderer(), *view.viewer.graph());
}

// "#rrggbb" of a colour with channels in 0..1.
std::string hexColour(const Rgb& colour) {
    char text[8];
    const auto channel = [](float c) { return int(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f); };
    std::snprintf(text, sizeof text, "#%02x%02x%02x", channel(colour[0]), channel(colour[1]),
                  channel(colour[2]));
    return text;
}

// Tabs and line ends inside a field of the page's tab-separated lines become spaces.
std::string field(std::string_view text) {
    std::string out(text);
    std::replace_if(out.begin(), out.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
                    ' ');
    return out;
}

}  // namespace

}  // namespace orvo::web

using orvo::web::LoadedGraph;
using orvo::web::WebView;

extern "C" {

/// Reads the graph file's bytes (the caller keeps them; they may go once this returns) with the
/// settings the desktop window loads with, and lays the tree out from its top node. Returns a
/// handle to give to the other calls, never null: a failed load says why in orvo_error.
EMSCRIPTEN_KEEPALIVE LoadedGraph* orvo_open(const char* bytes, size_t length) {
    auto* loaded = new LoadedGraph;
    orvo::applyWindowInitialisation(loaded->settings);
    try {
        orvo::web::ByteStream in(bytes, length);
        loaded->graph = std::make_unique<orvo::Graph>(loaded->settings);
        orvo::readAndLayOut(*loaded->graph, in);
        if (loaded->graph->empty()) {
            loaded->error = "the file holds no node record";
        } else if (const orvo::Node* top = orvo::web::topNode(*loaded->graph)) {
            loaded->topId.assign(top->id);
        }
    } catch (const std::bad_alloc&) {
        loaded->graph.reset();
        loaded->error = "out of memory for this graph";
    }
    return loaded;
}

EMSCRIPTEN_KEEPALIVE void orvo_close(LoadedGraph* loaded) { delete loaded; }

/// Why the load failed, or "" when it did not.
EMSCRIPTEN_KEEPALIVE const char* orvo_error(const LoadedGraph* loaded) {
    return loaded->error.c_str();
}

EMSCRIPTEN_KEEPALIVE double orvo_node_count(const LoadedGraph* loaded) {
    return loaded->graph ? double(loaded->graph->nodes.size()) : 0.0;
}

EMSCRIPTEN_KEEPALIVE double orvo_link_count(const LoadedGraph* loaded) {
    return loaded->graph ? double(loaded->graph->links.size()) : 0.0;
}

/// The id of the node the layout started from (placed at the origin); "" without one.
EMSCRIPTEN_KEEPALIVE const char* orvo_top_id(const LoadedGraph* loaded) {
    return loaded->topId.c_str();
}

/// Every node's laid-out position as CSV (index,id,x,y,z), as the desktop's positions export
/// writes it; null when there is no graph or no memory for the text.
EMSCRIPTEN_KEEPALIVE const char* orvo_positions_csv(LoadedGraph* loaded) {
    if (!loaded->graph) return nullptr;
    if (loaded->positions.empty() &&
        !orvo::web::writePositions(*loaded->graph, loaded->positions, loaded->error))
        return nullptr;
    return loaded->positions.c_str();
}

/// A view on the canvas the CSS selector names (e.g. "#view"), sized width x height pixels; no
/// graph yet. Never null.
EMSCRIPTEN_KEEPALIVE WebView* orvo_view_new(const char* canvas, int width, int height) {
    auto* view = new WebView(canvas);
    view->width = std::max(width, 1);
    view->height = std::max(height, 1);
    view->regions.setLimits(orvo::kPageRegionAboveNodes, orvo::kPageRegionNodes);
    orvo::web::setUp(*view);
    return view;
}

EMSCRIPTEN_KEEPALIVE void orvo_view_close(WebView* view) { delete view; }

/// Reads an outline's bytes (the caller keeps them), lays it out and puts it on view. 1 on
/// success; 0 when the bytes hold no graph or WebGL 2 cannot draw it (orvo_view_error says
/// why), the graph on view before, if any, staying as it was.
EMSCRIPTEN_KEEPALIVE int orvo_view_load(WebView* view, const char* bytes, size_t length) {
    view->error.clear();
    try {
        return orvo::web::load(*view, bytes, length) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        view->error = "out of memory for this graph";
        return 0;
    }
}

/// Reads a map file's bytes (the caller keeps them; they may go once this returns), laid out
/// already, and puts it on view with the measures it carries. 1 on success; -1 when the bytes
/// hold no whole map (orvo_view_error names what of it is wrong: "its nodes section is damaged
/// (its checksum does not match)"), 0 when WebGL 2 cannot draw it or memory ran out (it says
/// why); the graph on view before, if any, staying as it was.
EMSCRIPTEN_KEEPALIVE int orvo_view_load_map(WebView* view, const unsigned char* bytes,
                                            size_t length) {
    view->error.clear();
    try {
        return orvo::web::loadMap(*view, bytes, length);
    } catch (const std::bad_alloc&) {
        view->error = "out of memory for this graph";
        return 0;
    }
}

/// As orvo_view_load_map, for a packed map (orvo-publish's) that lies in the last `packBytes`
/// bytes of a block of `blockBytes`, the size of the map it unpacks to: unpacked there, in
/// place, then read. -1 when the pack is damaged too. The view takes the block (the page
/// allocated it with malloc, and must not free it): a map of more nodes than the region limit
/// is shown a region at a time, read from the block, which the view keeps while it is on view.
EMSCRIPTEN_KEEPALIVE int orvo_view_load_packed_map(WebView* view, unsigned char* block,
                                                   size_t blockBytes, size_t packBytes) {
    view->error.clear();
    std::unique_ptr<unsigned char, orvo::web::FreeBlock> owned(block);
    try {
        return orvo::web::loadPackedMap(*view, std::move(owned), blockBytes, packBytes);
    } catch (const std::bad_alloc&) {
        view->error = "out of memory for this graph";
        return 0;
    }
}

EMSCRIPTEN_KEEPALIVE const char* orvo_view_error(const WebView* view) { return view->error.c_str(); }

/// Packed maps of more than `aboveNodes` nodes (0: none) load from now on a region at a time,
/// of about `regionNodes` nodes, the first, built at once, of about `firstNodes`; a limit below 0
/// is the page's own.
EMSCRIPTEN_KEEPALIVE void orvo_view_set_region_limits(WebView* view, double aboveNodes,
                                                     double regionNodes, double firstNodes) {
    const auto count = [](double nodes, uint64_t own) {
        return nodes >= 0 ? uint64_t(std::min(nodes, 4e9)) : own;
    };
    view->regions.setLimits(count(aboveNodes, orvo::kPageRegionAboveNodes),
                            std::max<uint64_t>(count(regionNodes, orvo::kPageRegionNodes), 1),
                            std::max<uint64_t>(count(firstNodes, orvo::kFirstRegionNodes), 1));
}

/// Whether the map on view, shown a region at a time, wants another region once the frame on
/// view is finished (see orvo_view_region_step): 1 or 0.
EMSCRIPTEN_KEEPALIVE int orvo_view_region_wanted(WebView* view) {
    uint32_t focus = 0;
    return orvo::web::regionWanted(*view, focus) ? 1 : 0;
}

/// Builds the region the view wants, at once, and puts it on view in place of the one there,
/// the view staying where it is (the frame is drawn again: orvo_view_idle draws the rest). 1 when
/// a region was put on view; 0 when none was wanted or it could not be built (the key message
/// says why, and no region is asked for again).
EMSCRIPTEN_KEEPALIVE int orvo_view_region_step(WebView* view) {
    uint32_t focus = 0;
    if (!orvo::web::regionWanted(*view, focus)) return 0;
    try {
        return orvo::web::showRegionAround(*view, focus, true) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        view->keyMessage = "Cannot show that part of the map: out of memory.";
        return 0;
    }
}

/// Starts a new frame: its first slice is drawn at once; orvo_view_idle draws the rest.
EMSCRIPTEN_KEEPALIVE void orvo_view_redraw(WebView* view) {
    if (view->loaded) view->viewer.redraw();
}

/// One slice of refinement (call it once per animation frame). 1 while more are to come.
EMSCRIPTEN_KEEPALIVE int orvo_view_idle(WebView* view) {
    return view->loaded && view->viewer.idle() != 0 ? 1 : 0;
}

/// The nodes the last slice drew (the first slice of a frame, or the last idle step).
EMSCRIPTEN_KEEPALIVE int orvo_view_nodes_last_slice(WebView* view) {
    return view->viewer.renderer().nodesDrawnLastSlice();
}

/// The nodes the frame on view holds so far (every slice since its start).
EMSCRIPTEN_KEEPALIVE int orvo_view_nodes_drawn(WebView* view) {
    return view->loaded ? int(view->viewer.renderer().drawnNodes().size()) : 0;
}

/// How long each slice may draw from now on (microseconds, at least 1): the page sizes its
/// slices to what its frames really cost, where the browser draws in software.
EMSCRIPTEN_KEEPALIVE void orvo_view_set_slice_budget(WebView* view, int microseconds) {
    orvo::ViewerSettings& settings = view->viewer.settings();
    microseconds = std::max(microseconds, 1);
    settings.sliceBudgetSec = microseconds / 1000000;
    settings.sliceBudgetUsec = microseconds % 1000000;
}

/// The canvas's drawing buffer has a new size: the view is drawn again at it.
EMSCRIPTEN_KEEPALIVE void orvo_view_resize(WebView* view, int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    const bool changed = width != view->width || height != view->height;
    view->width = width;
    view->height = height;
    if (!view->loaded) return;
    orvo::Viewer& v = view->viewer;
    v.reshape(width, height);
    if (v.settings().useWindowAspect != 0) v.renderer().updateProjection();
    if (changed) v.redraw();
}

/// The pointer moved to x, y (canvas pixels, top left origin): a drag while a button is held,
/// else a hover. Modifier bits: 4 shift, 8 control.
EMSCRIPTEN_KEEPALIVE void orvo_view_pointer_move(WebView* view, int x, int y, int shift,
                                                 int ctrl) {
    if (!view->loaded) return;
    if (view->buttonHeld) {
        view->restPending = false;
        view->viewer.mouseDrag(x, y, shift, ctrl);
    } else {
        view->restPending = view->viewer.mouseMove(x, y, shift, ctrl) == 0;
        view->restX = x;
        view->restY = y;
    }
}

/// The pointer came to rest (no motion for a moment): the hover that the decimation of motions
/// dropped is picked now, so that the node under a resting pointer is always named, as in the
/// desktop window. 1 when a pick ran.
EMSCRIPTEN_KEEPALIVE int orvo_view_pointer_rest(WebView* view) {
    if (!view->loaded || !view->restPending) return 0;
    view->restPending = false;
    view->viewer.renderer().hoverHighlight(view->restX, view->restY, 0, 0);
    return 1;
}

/// A button (0 left, 2 right) went down (1) or up (0) at x, y. A left press and release
/// without motion is a click: it picks, selects and flies to what it picked.
EMSCRIPTEN_KEEPALIVE void orvo_view_button(WebView* view, int button, int down, int x, int y,
                                           int shift, int ctrl) {
    if (!view->loaded) return;
    view->buttonHeld = down != 0;
    view->restPending = false;
    view->viewer.mouseButton(button, down != 0 ? 0 : 1, x, y, shift, ctrl);
}

/// A key command of the view, as typed (see the viewer's keyboard list; "f" reads nothing here).
EMSCRIPTEN_KEEPALIVE void orvo_view_key(WebView* view, int character) {
    if (!view->loaded || character == 'f') return;
    orvo::Viewer& v = view->viewer;
    v.setKeepRedrawing(0);
    if (character == 'M' || character == 'P') {
        orvo::web::applyMeasureKey(*view, char(character));
    } else {
        view->keys.apply(v, character, view->selected);
        view->keyMessage = orvo::keyMessage(char(character), view->keys, v, view->selected);
    }
    // As the desktop window after a key: the view is drawn again with what the key changed.
    v.redraw();
}

/// What the last key command did ("Boundary sphere hidden"); "" for a key without a command.
EMSCRIPTEN_KEEPALIVE const char* orvo_view_key_message(const WebView* view) {
    return view->keyMessage.c_str();
}

/// The state the key switches: 1 on (the group hidden, the links shown, labels by link score),
/// else 0.
EMSCRIPTEN_KEEPALIVE int orvo_view_key_checked(WebView* view, int character) {
    if (!view->loaded) return 0;
    if (character == 'P') return view->measures.labelsByScore() ? 1 : 0;
    return orvo::keyChecked(char(character), view->keys, view->viewer) ? 1 : 0;
}

/// The view's keys for the page's help, a line each: "keys<TAB>what they do". The key reading
/// an id from standard input has no place in a page and is left out.
EMSCRIPTEN_KEEPALIVE const char* orvo_view_key_help(WebView* view) {
    std::string& text = view->text;
    text.clear();
    for (const orvo::ShortcutSection& section : orvo::shortcutSections()) {
        if (std::string_view(section.title).rfind("Keys", 0) != 0) continue;
        for (const orvo::Shortcut& entry : section.entries) {
            const std::string_view keys = entry.keys;
            if (keys == "f") continue;
            text += std::string(entry.keys) + '\t' + entry.action + '\n';
        }
    }
    return text.c_str();
}

/// Selects the node with that id and flies to it, as a click on it does (from a search, Back,
/// Forward or a link to it). 1 when a shown node has the id, else 0 and nothing changes.
EMSCRIPTEN_KEEPALIVE int orvo_view_travel(WebView* view, const char* id) {
    return orvo::web::travel(*view, id) ? 1 : 0;
}

/// The id of the node at the centre of the view (the one the frame starts at), or "".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_centre(WebView* view) {
    view->text.clear();
    if (view->loaded) {
        if (const orvo::Node* node = view->viewer.renderer().centreNode()) view->text = node->id;
    }
    return view->text.c_str();
}

/// The id of the graph's top node (where the key "c" flies), or "".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_top(WebView* view) {
    view->text.clear();
    if (view->loaded) {
        const orvo::Graph& g = *view->viewer.graph();
        const int32_t top = view->viewer.settings().topNodeIndex;
        if (uint32_t(top) < g.nodes.size() && g.nodes[size_t(top)] != nullptr)
            view->text = g.nodes[size_t(top)]->id;
    }
    return view->text.c_str();
}

/// How the status line names the node with that id, its groups and its links, as the desktop's
/// status bar does: "name<TAB>groups<TAB>3 in, 12 out"; "" when no node has the id.
EMSCRIPTEN_KEEPALIVE const char* orvo_view_describe(WebView* view, const char* id) {
    view->text.clear();
    if (!view->loaded) return view->text.c_str();
    const orvo::Graph& g = *view->viewer.graph();
    if (const orvo::Node* node = g.findNode(id)) {
        // A region lacks the links to the rest of the map: its nodes count the map's.
        const orvo::NodeMeasures& measures = view->measures.measures();
        const auto i = size_t(node->index);
        const std::string links = view->regions.active() && i < measures.linksIn.size()
                                      ? orvo::linksText(measures.linksIn[i], measures.linksOut[i])
                                      : orvo::nodeLinksText(*node);
        view->text = orvo::web::field(orvo::nodeNameText(g, *node)) + '\t' +
                     orvo::web::field(orvo::nodeGroupsText(g, *node)) + '\t' + links;
    }
    return view->text.c_str();
}

/// What the graph holds and shows: "12 345 nodes, 6 789 links (all shown)"; for a map shown a
/// region at a time, the map's counts and the region's: "4 000 000 nodes, 9 000 000 links (200 000
/// nodes around the view in memory)".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_counts(WebView* view) {
    view->text.clear();
    if (!view->loaded) return view->text.c_str();
    const orvo::Graph& g = *view->viewer.graph();
    view->text = view->regions.active()
                     ? orvo::regionCountsText(view->regions.mapNodes(), view->regions.mapLinks(),
                                              int64_t(g.nodes.size()))
                     : orvo::graphCountsText(orvo::countGraph(g));
    return view->text.c_str();
}

/// The nodes whose id or label holds the query, best first, as the desktop's Find lists them:
/// the first line how many match in all, then at most `limit` lines "id<TAB>name".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_search(WebView* view, const char* query, int limit) {
    view->text.clear();
    if (!view->loaded) return view->text.c_str();
    const orvo::Graph& g = *view->viewer.graph();
    const size_t most = size_t(std::max(limit, 0));
    const auto line = [](std::string_view id, const std::string& name) {
        return orvo::web::field(id) + '\t' + orvo::web::field(name) + '\n';
    };
    if (view->regions.active()) {
        // The whole map's ids, in place: a hit is a map node, which the region may lack.
        const orvo::IdTextSpans& ids = view->regions.idTexts();
        while (view->search.buildSome(ids, 1u << 16)) {
        }
        const orvo::SearchResult result = view->search.search(ids, query, most);
        view->text = std::to_string(result.total) + '\n';
        for (const orvo::SearchHit& hit : result.hits) {
            const std::string_view id = ids.idOf(size_t(hit.node));
            view->text += line(id, orvo::nodeNameText(id, ids.labelOf(size_t(hit.node))));
        }
        return view->text.c_str();
    }
    while (view->search.buildSome(g, 1u << 16)) {
    }
    const orvo::SearchResult result = view->search.search(g, query, most);
    view->text = std::to_string(result.total) + '\n';
    for (const orvo::SearchHit& hit : result.hits) {
        const orvo::Node& node = *g.nodes[size_t(hit.node)];
        view->text += line(node.id, orvo::nodeNameText(g, node));
    }
    return view->text.c_str();
}

/// The legend of the colours on view, as the desktop's legend panel shows it: the first line
/// "kind<TAB>title", then a line per row "row<TAB>name<TAB>nodes<TAB>#rrggbb<TAB>hidden", row
/// being "group" (a click hides or shows it), "other" (the smaller groups together) or "none"
/// (the nodes without a group of the kind).
EMSCRIPTEN_KEEPALIVE const char* orvo_view_legend(WebView* view) {
    view->text.clear();
    if (!view->loaded) return view->text.c_str();
    const orvo::Legend legend =
        orvo::groupLegend(*view->viewer.graph(), view->tallies, orvo::kLegendRows);
    view->text = std::to_string(legend.kind) + '\t' + orvo::web::field(legend.title) + '\n';
    for (const orvo::LegendRow& row : legend.rows) {
        const char* kind = row.kind == orvo::LegendRow::Kind::Group   ? "group"
                           : row.kind == orvo::LegendRow::Kind::Other ? "other"
                                                                      : "none";
        view->text += std::string(kind) + '\t' + orvo::web::field(row.name) + '\t' +
                      std::to_string(row.nodes) + '\t' + orvo::web::hexColour(row.colour) + '\t' +
                      (row.hidden ? "1" : "0") + '\n';
    }
    return view->text.c_str();
}

/// Works out every node's measures (depth, links in and out, subtree size, link score) at once,
/// on this thread: the page calls it once the first picture is whole, since a page has no
/// threads to spare. For a map shown a region at a time, the link scores of the whole map (its
/// other measures were worked out as it opened). The colouring and label order chosen meanwhile
/// apply from now on, the view drawn again with them. 1 when the measures are there; 0 when they could not be worked out
/// (orvo_view_measures_error says why), the view going on without them.
EMSCRIPTEN_KEEPALIVE int orvo_view_work_out_measures(WebView* view) {
    if (!view->loaded) return 0;
    if (view->measures.ready()) return 1;
    orvo::Viewer& v = view->viewer;
    try {
        if (view->regions.active()) {
            // The whole map's, of which the region's are read: never the region's own.
            view->measuresError = view->regions.workOutLinkScores();
            if (!view->measuresError.empty()) return 0;
            view->measures.take(view->regions.regionMeasures());
        } else {
            view->measures.take(orvo::computeNodeMeasures(*v.graph()));
        }
    } catch (const std::bad_alloc&) {
        view->measuresError = "out of memory for the measures";
        return 0;
    }
    view->measures.apply(v.renderer(), *v.graph());
    view->links.setMeasures(&view->measures.measures());
    // Under the default choices the picture stays as it is, and so does the frame on view.
    if (view->measures.colourBy() || view->measures.labelsByScore()) {
        v.setKeepRedrawing(0);
        v.redraw();
    }
    return 1;
}

/// Why the measures could not be worked out, or "".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_measures_error(const WebView* view) {
    return view->measuresError.c_str();
}

/// What the status line says once the measures are there ("Measures ready: ..."); "" before.
EMSCRIPTEN_KEEPALIVE const char* orvo_view_measures_message(WebView* view) {
    view->text = view->measures.readyMessage();
    return view->text.c_str();
}

/// The legend of the measure the nodes are coloured by, as the desktop's legend panel shows it;
/// "" while they are coloured by their groups (or the measures are not there yet). The first line
/// "title<TAB>low end's value<TAB>high end's value", the second the ramp's colours from the low
/// end ("#rrggbb" separated by spaces), and, when the pointer is on a node, a third:
/// "name: value<TAB>#rrggbb<TAB>where the value sits on the ramp, 0 to 1".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_measure_legend(WebView* view) {
    view->text.clear();
    if (!view->loaded) return view->text.c_str();
    const orvo::MeasureLegend legend =
        view->measures.legend(*view->viewer.graph(), orvo::web::hoveredNode(*view));
    if (legend.title.empty()) return view->text.c_str();
    std::string& t = view->text;
    t = orvo::web::field(legend.title) + '\t' + orvo::web::field(legend.lowText) + '\t' +
        orvo::web::field(legend.highText) + '\n';
    for (size_t i = 0; i < legend.ramp.size(); ++i)
        t += (i == 0 ? "" : " ") + orvo::web::hexColour(legend.ramp[i]);
    t += '\n';
    if (legend.pointed) {
        char position[32];
        std::snprintf(position, sizeof position, "%.6f", legend.pointedPosition);
        t += orvo::web::field(legend.pointedText) + '\t' + orvo::web::hexColour(legend.pointedColour) +
             '\t' + position + '\n';
    }
    return t.c_str();
}

/// Lists the links in and out of the node with that id in the Links panel's rows, filtered and
/// sorted as before (the panel of the desktop window). The number of its links; -1 (and nothing
/// listed) when no node has the id.
EMSCRIPTEN_KEEPALIVE int orvo_view_links_list(WebView* view, const char* id) {
    view->links.clear();
    if (!view->loaded) return -1;
    const orvo::Graph& g = *view->viewer.graph();
    const orvo::Node* node = g.findNode(id);
    if (node == nullptr) return -1;
    view->links.list(g, *node, &view->measures.measures());
    return int(view->links.total());
}

/// Sorts the rows by a column (0 direction, 1 name, 2 group, 3 link score), up (1) or down (0);
/// the order stays for the next node listed.
EMSCRIPTEN_KEEPALIVE void orvo_view_links_sort(WebView* view, int column, int ascending) {
    if (column < 0 || column >= orvo::kLinksColumns) return;
    view->links.sortBy(orvo::LinksColumn(column), ascending != 0);
}

/// Keeps the rows whose node's label or id holds the text (any case); "" keeps every row. The
/// number of rows kept.
EMSCRIPTEN_KEEPALIVE int orvo_view_links_filter(WebView* view, const char* text) {
    view->links.setFilter(text);
    return int(view->links.size());
}

/// The rows kept; the node listed, and what the panel's heading says of it ("12 in, 3 out").
EMSCRIPTEN_KEEPALIVE int orvo_view_links_size(const WebView* view) { return int(view->links.size()); }

EMSCRIPTEN_KEEPALIVE const char* orvo_view_links_summary(WebView* view) {
    view->text = view->links.summary();
    // A region holds a node's links to the nodes around the view only: the rows say so when
    // the map has more.
    const orvo::NodeMeasures& measures = view->measures.measures();
    const auto i = size_t(view->links.listedNode());
    if (view->regions.active() && i < measures.linksIn.size() &&
        int64_t(view->links.total()) != int64_t(measures.linksIn[i]) + measures.linksOut[i])
        view->text += " listed of the map's " +
                      orvo::linksText(measures.linksIn[i], measures.linksOut[i]) +
                      ": the others lead outside the part around the view";
    return view->text.c_str();
}

/// Rows first to first + count - 1 of those kept (fewer past the last), a line each:
/// "id<TAB>in or out<TAB>label or id<TAB>group<TAB>#rrggbb<TAB>link score" (the score "" while
/// the measures are not there). The panel asks only for the rows in sight.
EMSCRIPTEN_KEEPALIVE const char* orvo_view_links_rows(WebView* view, int first, int count) {
    std::string& t = view->text;
    t.clear();
    const orvo::LinksList& links = view->links;
    const size_t end = std::min(links.size(), size_t(std::max(first, 0)) + size_t(std::max(count, 0)));
    for (size_t i = size_t(std::max(first, 0)); i < end; ++i) {
        using orvo::LinksColumn;
        t += orvo::web::field(links.rowNode(i).id) + '\t' + links.cellText(i, LinksColumn::Direction) +
             '\t' + orvo::web::field(links.cellText(i, LinksColumn::Name)) + '\t' +
             orvo::web::field(links.cellText(i, LinksColumn::Group)) + '\t' +
             orvo::web::hexColour(links.groupColour(i)) + '\t' + links.cellText(i, LinksColumn::Score) +
             '\n';
    }
    return t.c_str();
}

/// What the last frame drew, as orvo-snapshot --report writes it: "kind,id,x0,y0,x1,y1" and a
/// line per node cube and label in drawing order.
EMSCRIPTEN_KEEPALIVE const char* orvo_view_report(WebView* view) {
    view->text.clear();
    if (view->loaded) view->text = orvo::drawReportCsv(view->viewer.renderer());
    return view->text.c_str();
}

/// The id of the node under the pointer (highlighted), or "".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_hovered(WebView* view) {
    view->hovered.clear();
    if (const orvo::Node* node = orvo::web::hoveredNode(*view)) view->hovered.assign(node->id);
    return view->hovered.c_str();
}

/// The node selected last (by a click, a search, Back or Forward, a legend row's arrow), or "".
EMSCRIPTEN_KEEPALIVE const char* orvo_view_selected(const WebView* view) {
    return view->selected.c_str();
}

/// What the last click picked: a node's id, a link's "from|to", or "" for nothing.
EMSCRIPTEN_KEEPALIVE const char* orvo_view_clicked(const WebView* view) {
    return view->clicked.c_str();
}

/// Brings the node with that id to the centre at once (the start view of a published map). 1
/// when a shown node has the id, else 0 and nothing changes.
EMSCRIPTEN_KEEPALIVE int orvo_view_goto(WebView* view, const char* id) {
    if (!view->loaded || !orvo::web::holdNode(*view, id)) return 0;
    const orvo::Node* node = view->viewer.graph()->findNode(id);
    if (node == nullptr || !node->isShown()) return 0;
    return view->viewer.gotoNode(id, 1) == 1 ? 1 : 0;
}

/// Hides (hide 1) or shows (0) the group of that kind by its name, as a click on its legend
/// entry does. 1 when the graph has such a group, else 0.
EMSCRIPTEN_KEEPALIVE int orvo_view_set_group_hidden(WebView* view, int kind, const char* name,
                                                    int hide) {
    if (!view->loaded || kind < 0 || kind >= orvo::kGroupKinds) return 0;
    // The groups of the whole graph, or of the whole map shown a region at a time.
    const auto& groups = view->tallies[size_t(kind)];
    if (std::none_of(groups.begin(), groups.end(),
                     [name](const orvo::GroupTally& g) { return g.name == name; }))
        return 0;
    view->viewer.setGroupHidden(kind, name, hide != 0 ? 1 : 0);
    view->viewer.redraw();
    return 1;
}

/// A click on row `row` of the legend (as orvo_view_legend lists them, 0 the first after the
/// title): hides the row's nodes when they are shown, else shows them, as in the desktop
/// window; the hidden nodes become small grey dots and what hangs below them stays. 1 when the
/// row is hidden now, 0 when it is shown, -1 when there is no such row.
EMSCRIPTEN_KEEPALIVE int orvo_view_legend_click(WebView* view, int row) {
    if (!view->loaded) return -1;
    orvo::Legend legend;
    const orvo::LegendRow* r = orvo::web::legendRow(*view, legend, row);
    if (r == nullptr) return -1;
    view->viewer.setKeepRedrawing(0);
    const bool hidden = orvo::toggleLegendRow(view->viewer, legend.kind, *r);
    view->keyMessage = orvo::legendRowStatus(*r, hidden);
    view->viewer.redraw();
    return hidden ? 1 : 0;
}

/// Flies to the next shown node of legend row `row` after the one selected, as a search does.
/// 1 when there was one to fly to, else 0.
EMSCRIPTEN_KEEPALIVE int orvo_view_legend_next(WebView* view, int row) {
    if (!view->loaded) return 0;
    orvo::Legend legend;
    const orvo::LegendRow* r = orvo::web::legendRow(*view, legend, row);
    if (r == nullptr) return 0;
    const orvo::Graph& g = *view->viewer.graph();
    const int32_t after = view->selected.empty() ? -1 : g.findNodeIndex(view->selected);
    const int32_t next = orvo::nextNodeOfLegendRow(g, legend.kind, *r, after);
    if (next < 0) {
        view->keyMessage = "No node of " + r->name + " is shown";
        return 0;
    }
    return orvo::web::travel(*view, std::string(g.nodes[size_t(next)]->id)) ? 1 : 0;
}

/// Hides (veil 1) or shows (0) the nodes of the group of that kind ("" for the nodes without a
/// group) as a click on its legend row does, keeping what hangs below them: the start view of a
/// page exported with groups hidden from the legend. 1 when something changed.
EMSCRIPTEN_KEEPALIVE int orvo_view_set_group_veiled(WebView* view, int kind, const char* name,
                                                    int veil) {
    if (!view->loaded || kind < 0 || kind >= orvo::kGroupKinds) return 0;
    const int changed = view->viewer.setGroupsVeiled(kind, {std::string(name)}, veil != 0 ? 1 : 0);
    view->viewer.redraw();
    return changed;
}

/// Colours the nodes by the groups of that kind (0 file type, 1 site group), as the key "g"
/// switches them; the key goes on from there.
EMSCRIPTEN_KEEPALIVE void orvo_view_set_colour_kind(WebView* view, int kind) {
    if (!view->loaded || kind < 0 || kind > 1) return;
    view->viewer.setGroupColumn(kind);
    view->keys.setToggle('g', kind);
    view->viewer.redraw();
}

/// The graph on view's node count; 0 without one.
EMSCRIPTEN_KEEPALIVE double orvo_view_node_count(WebView* view) {
    return view->loaded ? double(view->viewer.graph()->nodes.size()) : 0.0;
}

/// The canvas's picture as RGBA rows, bottom row first (width x height x 4 bytes); null without
/// a graph on view.
EMSCRIPTEN_KEEPALIVE const uint8_t* orvo_view_pixels(WebView* view) {
    if (!view->loaded || !view->surface.makeCurrent(view->viewer.renderer().context())) {
        return nullptr;
    }
    view->pixels.assign(size_t(view->width) * size_t(view->height) * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, view->width, view->height, GL_RGBA, GL_UNSIGNED_BYTE, view->pixels.data());
    return view->pixels.data();
}

}  // extern "C"
