// The viewer facade: thin forwarders to the settings, the graph and the renderer, plus the few
// operations that combine them (loading, going to a node, selecting a subtree, hiding a group).
#include "viewer/viewer.h"

#include <istream>

#include "layout/layout.h"

namespace orvo {

namespace {

// A node's layout depth: w of its position in the layout frame, which grows with its distance
// from the layout's start node. Beyond this the positions lose too much precision to navigate.
constexpr double kRelayoutDepth = 100.0;

double layoutDepth(const Graph& graph, const Node& n) { return graph.globalTransform(n).at(3, 3); }

uint8_t lowByte(int value) { return static_cast<uint8_t>(value); }

}  // namespace

Viewer::Viewer(GlSurface& surface) : renderer_(settings_, surface) {}

void Viewer::setContext(GlContext* context, int width, int height) {
    renderer_.initContext(context, width, height);
}

std::unique_ptr<Graph> Viewer::readGraph(std::istream& in, const LoadReports& reports,
                                         ReadStats* stats) {
    if (in.fail() || in.bad()) return nullptr;
    auto fresh = std::make_unique<Graph>(settings_);
    fresh->debugLevel = readDebugLevel();
    const bool read = readAndLayOut(*fresh, in, reports);
    if (stats != nullptr) *stats = fresh->readStats;
    if (!read) return nullptr;
    return fresh;
}

int Viewer::showGraph(std::unique_ptr<Graph> fresh) {
    if (!fresh || fresh->empty()) return 0;
    if (graph_) {
        graph_->takeContentsOf(*fresh);
    } else {
        graph_ = std::move(fresh);
    }
    settings_.topNodeIndex = graph_->topNodeIndex();
    renderer_.setGraph(graph_.get());
    // The graph's home transform replaces the view that setGraph moved to the top node.
    renderer_.resetViewWith(graph_->homeTransform());
    return 1;
}

int Viewer::swapGraphKeepingView(std::unique_ptr<Graph> fresh) {
    if (!graph_ || !fresh || fresh->empty()) return showGraph(std::move(fresh));
    const ProjTransform view = renderer_.viewTransform();
    const Node* centre = renderer_.centreNode();
    const std::string centreId = centre != nullptr ? std::string(centre->id) : std::string();
    graph_->takeContentsOf(*fresh);
    settings_.topNodeIndex = graph_->topNodeIndex();
    renderer_.setGraph(graph_.get());
    renderer_.setViewTransform(view);
    if (Node* kept = graph_->findNode(centreId)) renderer_.setCentreNode(kept);
    renderer_.setKeepRedrawing(1);
    return 1;
}

int Viewer::loadGraph(std::istream& in) { return showGraph(readGraph(in)); }

int Viewer::setGroupHidden(int kind, std::string_view name, int hide) {
    if (!graph_) return 0;
    const int changed = graph_->setGroupHidden(kind, name, hide);
    if (changed == 1) renderer_.keepCentreShown();
    return changed;
}

int Viewer::setGroupsVeiled(int kind, const std::vector<std::string>& names, int veil) {
    if (!graph_) return 0;
    const int changed = graph_->setGroupsVeiled(kind, names, veil);
    // A veiled node cannot be picked, so it cannot stay the one under the pointer either.
    if (changed == 1) renderer_.dropHover();
    return changed;
}

void Viewer::selectNode(std::string_view id, int on) {
    if (!graph_) return;
    if (Node* n = graph_->findNode(id)) renderer_.markSelected(*n, on);
}

void Viewer::selectSubtree(std::string_view id, int on) {
    if (!graph_) return;
    for (const std::string& memberId : graph_->collectShownSubtree(id, -1)) {
        if (Node* n = graph_->findNode(memberId)) renderer_.markSelected(*n, on);
    }
}

int Viewer::centrePoint(int immediate) {
    if (!graph_) return 0;
    return renderer_.centrePoint(immediate);
}

void Viewer::relayoutFrom(Node* n) {
    if (beforeRelayout_) beforeRelayout_();
    if (relayout_) {
        relayout_(n);
    } else {
        orvo::relayoutFrom(*graph_, n);
    }
}

int Viewer::gotoNode(std::string_view id, int immediate) {
    if (!graph_) return 0;
    Node* n = graph_->findNode(id);
    if (n == nullptr || !n->isShown()) return 0;
    // The view moves away under the pointer: the node it was on is drawn in its own colour
    // (a status, a group) from now on, until the pointer moves onto a node again.
    renderer_.dropHover();
    if (layoutDepth(*graph_, *n) > kRelayoutDepth) {
        relayoutFrom(n);
        return renderer_.gotoNodeView(n, 1);
    }
    return renderer_.gotoNodeView(n, immediate);
}

int Viewer::gotoTopNode(int immediate) {
    if (!graph_) return 0;
    const int32_t top = settings_.topNodeIndex;
    // Compared as unsigned, so -1 names no node.
    if (static_cast<uint32_t>(top) >= graph_->nodes.size()) return 0;
    Node* n = graph_->nodes[static_cast<size_t>(top)];
    if (n == nullptr || !n->isShown()) return 0;
    renderer_.dropHover();
    if (layoutDepth(*graph_, *n) > kRelayoutDepth) {
        relayoutFrom(n);
        renderer_.resetViewToNode(n->index);
        return renderer_.gotoNodeView(n, 1);
    }
    return renderer_.gotoNodeView(n, immediate);
}

void Viewer::setUseWindowAspect(int flag) {
    settings_.useWindowAspect = lowByte(flag);
    // Without a context the projection is computed when the context is set up.
    if (renderer_.context() != nullptr) renderer_.updateProjection();
}

void Viewer::setGroupColor(int kind, std::string_view name, float r, float g, float b) {
    if (graph_) graph_->setGroupColor(kind, name, r, g, b);
}

int Viewer::setOutLinksShown(std::string_view id, int on, int recursive) {
    if (!graph_) return 0;
    return graph_->setOutLinksShown(id, on, recursive);
}

int Viewer::setInLinksShown(std::string_view id, int on, int recursive) {
    if (!graph_) return 0;
    return graph_->setInLinksShown(id, on, recursive);
}

void Viewer::setAllNodesShown(int on) {
    if (graph_) graph_->setAllNodesShown(on);
}

void Viewer::setAllLinksShown(int on) {
    if (graph_) graph_->setAllLinksShown(on);
}

void Viewer::setNegativeLevelLinksHidden(int on) {
    if (!graph_) return;
    settings_.hideNegativeLevelLinks = on;
    graph_->setNegativeLevelLinksHidden(on);
}

void Viewer::setKeepRedrawing(int flag) { renderer_.setKeepRedrawing(lowByte(flag)); }

int Viewer::idle() { return renderer_.idleStep(); }

void Viewer::setPickCallback(PickCallback callback) {
    renderer_.setPickCallback(std::move(callback));
}

void Viewer::display() {
    if (graph_) renderer_.drawFrame();
}

void Viewer::redraw() {
    if (!graph_) return;
    renderer_.drawFrame();
    renderer_.setKeepRedrawing(1);
}

void Viewer::reshape(int width, int height) { renderer_.resize(width, height); }

int Viewer::mouseButton(int button, int state, int x, int y, int shift, int ctrl) {
    return renderer_.mouseButton(button, state, x, y, shift, ctrl);
}

int Viewer::mouseDrag(int x, int y, int shift, int ctrl) {
    return renderer_.mouseDrag(x, y, shift, ctrl);
}

int Viewer::mouseMove(int x, int y, int shift, int ctrl) {
    return renderer_.mouseMove(x, y, shift, ctrl);
}

void Viewer::bindMouse(int slot, int action) { renderer_.bindMouse(slot, action); }

void Viewer::setLabelSide(int right) { renderer_.setLabelRight(lowByte(right)); }

void Viewer::setPickBudget(int seconds, int microseconds) {
    settings_.pickBudgetSec = seconds;
    settings_.pickBudgetUsec = microseconds;
}

void Viewer::setDrawSphere(int flag) { settings_.drawSphere = lowByte(flag); }

void Viewer::setGroupColumn(int kind) {
    if (settings_.groupColumn != kind) settings_.groupColumn = kind;
}

void Viewer::setLabelChoice(int choice) { settings_.labelChoice = choice; }

void Viewer::setLabelSize(float size) {
    settings_.labelSize = size;
    renderer_.updateLabelThreshold();
}

void Viewer::setPassiveDecimation(int count) { settings_.passiveDecimation = count; }

void Viewer::setDragDecimation(int count) { settings_.dragDecimation = count; }

void Viewer::setNodeGenerationLimit(int count) { settings_.nodeGenerationLimit = count; }

void Viewer::setLinkGenerationLimit(int count) { settings_.linkGenerationLimit = count; }

void Viewer::setRedCentreNode(int flag) { settings_.redCentreNode = lowByte(flag); }

void Viewer::setLabelsOverlap(int flag) { settings_.labelsOverlap = lowByte(flag) != 0 ? 1 : 0; }

void Viewer::setAnimationStep(float step) { settings_.animationStep = step; }

void Viewer::addLoadFlags(int bits) { settings_.loadFlags |= bits; }

void Viewer::clearLoadFlags() { settings_.loadFlags = 0; }

void Viewer::setBackgroundColor(float r, float g, float b) {
    settings_.backgroundColor[0] = r;
    settings_.backgroundColor[1] = g;
    settings_.backgroundColor[2] = b;
    if (renderer_.context() != nullptr) renderer_.setClearColour();
}

void Viewer::setSphereColor(float r, float g, float b) {
    settings_.sphereColor[0] = r;
    settings_.sphereColor[1] = g;
    settings_.sphereColor[2] = b;
    // The colour is baked into the sphere's display list, which needs a context.
    if (renderer_.context() != nullptr) renderer_.buildSphereList();
}

void Viewer::setLabelColor(float r, float g, float b) {
    settings_.labelColor[0] = r;
    settings_.labelColor[1] = g;
    settings_.labelColor[2] = b;
}

}  // namespace orvo
