// The module's entry points for the page: read a graph file handed over in memory, lay it out as
// the desktop does, and tell what came of it. The page owns each loaded graph through the handle
// orvo_open returns and gives it back with orvo_close.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph/positions_csv.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"
#include "web/byte_stream.h"

namespace orvo::web {

struct LoadedGraph {
    ViewerSettings settings;
    std::unique_ptr<Graph> graph;
    std::string error;      // why the load failed; empty when it did not
    std::string topId;      // the node the layout started from; empty without one
    std::string positions;  // made when first asked for
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

}  // namespace

}  // namespace orvo::web

using orvo::web::LoadedGraph;

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

}  // extern "C"
