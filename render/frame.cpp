// The progressive frame: a frame starts at the centre node and spreads outward, largest-drawn
// nodes first, one time slice per call; idle steps add slices into the front buffer until the
// graph is exhausted or the refinement limit has passed.
#include <GL/gl.h>

#include <algorithm>
#include <iterator>

#include "graph/graph.h"
#include "render/renderer.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {

constexpr size_t kResetPrefetch = 8;

}  // namespace

void Renderer::setGraph(Graph* graph) {
    drawnNodes_.clear();
    expandQueue_.clear();
    pendingNodes_.clear();
    pendingHead_ = 0;
    clearFrameRecords();
    arrival_ = nullptr;
    lastSelected_ = nullptr;
    pickBounds_.clear();
    pickBoundsValid_ = false;
    hoveredName_ = -1;
    shownLinks_.clear();
    graph_ = graph;
    if (graph_ == nullptr) {
        centreNode_ = nullptr;
        return;
    }
    // The lists that held the per-frame marks are gone, so the marks go too: a stale Drawn would
    // keep a node out of every later frame, a stale Highlighted would never be cleared.
    constexpr uint8_t kFrameMarks = Drawn | Highlighted | Labelled;
    for (Node* n : graph_->nodes) {
        if (n != nullptr) n->flags &= static_cast<uint8_t>(~kFrameMarks);
    }
    for (Link* k : graph_->links) {
        if (k != nullptr) k->flags &= static_cast<uint8_t>(~Drawn);
    }

    const uint32_t top = static_cast<uint32_t>(settings_.topNodeIndex);
    if (top < graph_->nodes.size() && graph_->nodes[top] != nullptr) {
        resetViewToNode(static_cast<int32_t>(top));
        bestApparentSize_ = -1.0;
        centreNode_ = graph_->nodes[top];
        setKeepRedrawing(1);
        return;
    }
    // No top node: the old centre stays only if it belongs to this graph (compared by address,
    // never dereferenced: after a reload it is gone).
    if (std::find(graph_->nodes.begin(), graph_->nodes.end(), centreNode_) == graph_->nodes.end()) {
        centreNode_ = nullptr;
    }
}

void Renderer::setKeepRedrawing(uint8_t flag) { keepRedrawing_ = flag != 0 ? 1 : 0; }

int Renderer::idleStep() {
    continuing_ = 1;
    drawFrame();
    continuing_ = 0;
    return keepRedrawing_;
}

void Renderer::drawFrame() {
    nodesDrawnLastSlice_ = 0;
    if (labelThreshold_ == 0.0f) return;
    const TimePair start = currentTime();
    const TimePair slice{settings_.sliceBudgetSec, settings_.sliceBudgetUsec};
    TimePair elapsed{0, 0};
    if (!makeCurrent()) return;

    if (!continuing_) {
        if (centreNode_ != nullptr) {
            centreNode_->flags &= static_cast<uint8_t>(~(Drawn | Labelled));
        }
        // Only what the last frame drew is reset; those nodes lie all over memory, so they are
        // fetched a few ahead.
        const size_t drawnCount = drawnNodes_.size();
        for (size_t i = 0; i < drawnCount; ++i) {
            if (i + kResetPrefetch < drawnCount) {
                const Node* ahead = drawnNodes_[i + kResetPrefetch];
                __builtin_prefetch(&ahead->centreDistance, 1);
                __builtin_prefetch(&ahead->flags, 1);
            }
            Node* n = drawnNodes_[i];
            n->flags &= static_cast<uint8_t>(~(Drawn | Labelled));
            n->centreDistance = kUnreachedDistance;
            n->apparentSize = -1.0;
            n->generation = kUnreachedGeneration;
        }
        drawnNodes_.clear();
        expandQueue_.clear();
        dropPendingNodes();
        pendingNodes_.push_back(centreNode_);
        if (centreNode_ != nullptr) centreNode_->generation = 0;
        const size_t linkCount = drawnLinks_.size();
        for (size_t i = 0; i < linkCount; ++i) {
            if (i + kResetPrefetch < linkCount) {
                __builtin_prefetch(&drawnLinks_[i + kResetPrefetch]->flags, 1);
            }
            drawnLinks_[i]->flags &= static_cast<uint8_t>(~Drawn);
        }
        clearFrameRecords();
        frameStart_ = start;
        bestApparentSize_ = -1.0;
        viewCentre_ = dehomogenized(viewTransform_.inverse().apply(ProjPoint()));
        beginFrame();
        pickBounds_.clear();
        boundsWindow_ = currentWindowMatrix();
        boundsLinkVersion_ = graph_ != nullptr ? graph_->linkVisibilityVersion() : 0;
        pickBoundsValid_ = true;
    } else {
        const TimePair since = start - frameStart_;
        const TimePair limit{settings_.refineLimitSec, settings_.refineLimitUsec};
        if (since >= limit) {
            dropPendingNodes();
            expandQueue_.clear();
            setKeepRedrawing(0);
            return;
        }
        resumeFrame();
        // The view changed under a frame in progress: what was recorded no longer matches.
        const ProjTransform window = currentWindowMatrix();
        if (!std::equal(std::begin(window.m), std::end(window.m), std::begin(boundsWindow_.m))) {
            pickBoundsValid_ = false;
        }
        // So did the links' visibility: the extents hold the links shown when they were taken.
        if (graph_ != nullptr && boundsLinkVersion_ != graph_->linkVisibilityVersion()) {
            pickBoundsValid_ = false;
        }
    }

    deferLabels_ = settings_.labelsOverlap == 0;
    const bool onTop = labelsOnTop();
    inSlice_ = onTop;
    DrawBatch* batch = drawingBatch();
    const size_t sliceStart = drawnNodes_.size();
    const size_t labelsFrom = drawnLabels_.size(), marksFrom = markedNodes_.size();
    const ProjTransform sliceWindow = currentWindowMatrix();
    if (onTop && !continuing_) keepLabelsOffMarkedCubes(sliceWindow);
    while (elapsed < slice) {
        if (pendingHead_ == pendingNodes_.size()) {
            pendingNodes_.clear();
            pendingHead_ = 0;
            if (expandQueue_.empty()) {
                setKeepRedrawing(0);
                break;
            }
            Node* m = expandQueue_.pop();
            const int32_t g = m->generation;
            Node* parent = m->parent;
            if (parent != nullptr && !parent->isDrawn() && parent->isShown()) {
                pendingNodes_.push_back(parent);
                parent->generation = g + 1;
            }
            for (Node* child : m->children) {
                if (!child->isDrawn() && child->isShown()) {
                    pendingNodes_.push_back(child);
                    child->generation = g + 1;
                }
            }
            continue;
        }
        Node* n = pendingNodes_[pendingHead_++];
        if (n == nullptr) {
            setKeepRedrawing(0);
            expandQueue_.clear();
            break;
        }
        if (n->isDrawn()) continue;
        drawNode(n, batch);
        n->flags |= Drawn;
        drawLog_.push_back({n, -1});
        if (onTop && n->generation == 0) frameCentre_ = n;
        if (onTop && (n->generation == 0 || (n->flags & Selected) != 0)) noteMarked(*n);
        if (onTop) noteCube(*n, sliceWindow);
        drawNodeLinks(n, batch);
        if (!onTop && n == arrival_ && n->generation == 0) {
            if (batch != nullptr) batch->draw();
            depthFunction_.set(GL_ALWAYS);
            drawNode(n, batch);
            if (batch != nullptr) batch->draw();
            depthFunction_.set(GL_LESS);
        }
        drawnNodes_.push_back(n);
        if (pickBoundsValid_) recordPickBounds(*n);
        expandQueue_.push(n, n->apparentSize);
        ++nodesDrawnLastSlice_;
        if (batch != nullptr) {
            batch->countNode();
            if (batch->full()) batch->draw();
        }
        elapsed = currentTime() - start;
    }
    finishSlice(batch, sliceStart, labelsFrom, marksFrom);
}

void Renderer::finishSlice(DrawBatch* batch, size_t sliceStart, size_t labelsFrom,
                           size_t marksFrom) {
    if (batch != nullptr) batch->draw();
    mergeDrawnNodes(sliceStart);
    if (inSlice_) reserveRareCubes();
    placeDeferredLabels();
    if (inSlice_) drawOnTop(labelsFrom, marksFrom);
    inSlice_ = false;
    swap();
    if (continuing_) surface_.flushFront();
}

void Renderer::mergeDrawnNodes(size_t from) {
    // The pick bounds run parallel to the drawn nodes while they are valid.
    const bool bounds = pickBoundsValid_ && pickBounds_.size() == drawnNodes_.size();
    mergeDrawnBySize(drawnNodes_, bounds ? &pickBounds_ : nullptr, from, drawnOrderScratch_);
}

void Renderer::keepCentreShown() {
    Node* highestHidden = nullptr;
    for (Node* n = centreNode_; n != nullptr; n = n->parent) {
        if (!n->isShown()) highestHidden = n;
    }
    if (highestHidden != nullptr) {
        if (highestHidden->parent != nullptr) {
            centreNode_ = highestHidden->parent;
        } else {
            const uint32_t top = static_cast<uint32_t>(settings_.topNodeIndex);
            centreNode_ =
                graph_ != nullptr && top < graph_->nodes.size() ? graph_->nodes[top] : nullptr;
        }
    }
    dropPendingNodes();
    expandQueue_.clear();
}

void Renderer::clearFrameRecords() {
    drawnLinks_.clear();
    drawnLabels_.clear();
    drawLog_.clear();
    labelSpace_.reset(viewport_[2], viewport_[3]);
    markedNodes_.clear();
    frameCentre_ = nullptr;
    frameColours_.clear();
    frameColouredNodes_ = 0;
    smallCubes_.clear();
}

void Renderer::dropPendingNodes() {
    // A node gets its generation when it is queued; one the frame never drew is not among the
    // drawn nodes that the next frame resets, and a stale generation would decide which of its
    // links that frame draws.
    for (size_t i = pendingHead_; i < pendingNodes_.size(); ++i) {
        Node* n = pendingNodes_[i];
        if (n != nullptr && !n->isDrawn()) n->generation = kUnreachedGeneration;
    }
    pendingNodes_.clear();
    pendingHead_ = 0;
}

}  // namespace orvo
