// What the frames of a graph would otherwise prepare inside their first slice, done when the
// graph is put on view: the first slice after a load then draws as many nodes as a later one.
#include <GL/gl.h>

#include <vector>

#include "graph/graph.h"
#include "render/finite_check.h"
#include "render/renderer.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

// About as many nodes as a slice draws.
constexpr size_t kNodesBroughtNear = 16384;

// Works out where the nodes a frame starting at `centre` draws first stand, and brings their
// flags and tree links into the processor's caches: the passes over the whole graph since the
// read have pushed them out. They are visited breadth first, as a frame spreads.
void bringNodesNear(const Graph& graph, const Node& centre) {
    std::vector<const Node*> queue{&centre};
    queue.reserve(kNodesBroughtNear);
    for (size_t i = 0; i < queue.size(); ++i) {
        const Node& n = *queue[i];
        graph.globalTransform(n);
        __builtin_prefetch(&n.flags);
        if (n.parentLink != nullptr) __builtin_prefetch(&n.parentLink->flags);
        for (const Node* child : n.children) {
            if (queue.size() == kNodesBroughtNear) break;
            queue.push_back(child);
        }
    }
}

}  // namespace

void Renderer::prepareFrames() {
    if (graph_ == nullptr || !makeCurrent()) return;
    // A page linked from everywhere has its shown links gathered the first time a frame draws it,
    // a read of each of its links: millions, for the top page of a big site.
    for (const Node* n : graph_->nodes) {
        if (n != nullptr && n->outLinks.size() + n->inLinks.size() > ShownLinkCache::kManyLinks) {
            shownLinks_.of(*graph_, *n);
        }
    }
    // The rasteriser compiles its code for each kind of drawing the first time it is used, which
    // takes longer than a slice, and the batch and the rasteriser grow their buffers to what a
    // full batch holds. So a full batch of cubes, filled and outlined, and of thick and thin
    // links, the cube drawn over its own links, and a label are drawn once into the back buffer,
    // which the next frame clears before anything is shown.
    Node* centre = centreNode_;
    if (centre == nullptr || !isDrawable(graph_->globalTransform(*centre))) return;
    beginFrame();
    const float* colour = graph_->nodeColor(*centre);
    if (colour == nullptr) colour = graph_->defaultColor;
    for (size_t i = 0; i < DrawBatch::kNodesPerBatch; ++i) {
        batch_.addCube(graph_->globalTransform(*centre), colour, i % 2 == 0);
    }
    Link* link = centre->children.empty() ? centre->parentLink : centre->children[0]->parentLink;
    for (size_t ends = 0; link != nullptr && ends < DrawBatch::kLinkEndsPerBatch; ends += 4) {
        for (const bool thick : {true, false}) {
            batch_.addLink(graph_->positionOf(*link->fromNode), graph_->positionOf(*link->toNode), settings_.linkFromColor.data(),
                           settings_.linkToColor.data(), thick);
        }
    }
    batch_.draw();
    depthFunction_.set(GL_ALWAYS);
    batch_.addCube(graph_->globalTransform(*centre), colour, true);
    batch_.draw();
    depthFunction_.set(GL_LESS);
    drawLabel(*centre, labelAnchorOf(*centre));
    glFinish();  // the rasteriser draws (and compiles) now, not when the next frame flushes
    bringNodesNear(*graph_, *centre);
}

}  // namespace orvo
