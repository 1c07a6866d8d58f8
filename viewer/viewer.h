// The one object through which the window side reaches the graph, the layout and the renderer.
// Almost every operation forwards to one component; loading, going to a node, selecting a
// subtree and hiding a group combine several.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "graph/graph.h"
#include "layout/layout.h"
#include "render/renderer.h"
#include "settings/viewer_settings.h"

namespace orvo {

class Viewer {
public:
    /// Creates the settings with their defaults and the renderer on the surface; no graph yet.
    explicit Viewer(GlSurface& surface);

    void setContext(GlContext* context, int width, int height);
    GlSurface& deviceContext() { return renderer_.surface(); }

    /// 1 when the stream was read and held at least one node; 0 when the stream is unusable or
    /// held no node. A failed load leaves the graph on view as it was.
    int loadGraph(std::istream& in);
    /// The first half of loadGraph: reads the stream into a fresh graph with these settings and
    /// lays it out, telling `reports` how far it has come. nullptr when the stream is unusable or
    /// held no node (or ran out of memory: `stats`, when given, hears what the read met). Nothing on view changes, so the window may keep drawing the current graph
    /// while a long file is read.
    std::unique_ptr<Graph> readGraph(std::istream& in, const LoadReports& reports = {},
                                     ReadStats* stats = nullptr);
    /// The second half of loadGraph: puts a graph from readGraph on view. The first graph is
    /// kept; later ones hand their contents to it, so there is one Graph object for good.
    int showGraph(std::unique_ptr<Graph> fresh);
    /// Puts on view a graph of the same layout as the one shown (another region of one map),
    /// the view staying where it is: every node the two share stands where it stood, and the
    /// node at the centre stays the centre when the new graph has it. The selection and the
    /// frame's marks go with the old graph's nodes.
    int swapGraphKeepingView(std::unique_ptr<Graph> fresh);
    int setGroupHidden(int kind, std::string_view name, int hide);
    /// Veils (veil 1) or unveils the nodes of the groups of that kind ("" for the nodes without
    /// a group of the kind): they give way to small grey dots, what hangs below them stays (see
    /// Graph::setGroupsVeiled). 1 when something changed.
    int setGroupsVeiled(int kind, const std::vector<std::string>& names, int veil);
    void selectNode(std::string_view id, int on);
    void selectSubtree(std::string_view id, int on);
    int centrePoint(int immediate);
    int gotoNode(std::string_view id, int immediate);
    int gotoTopNode(int immediate);
    void setUseWindowAspect(int flag);
    void setGroupColor(int kind, std::string_view name, float r, float g, float b);
    int setOutLinksShown(std::string_view id, int on, int recursive);
    int setInLinksShown(std::string_view id, int on, int recursive);
    void setAllNodesShown(int on);
    void setAllLinksShown(int on);
    void setNegativeLevelLinksHidden(int on);
    void setKeepRedrawing(int flag);
    int idle();
    void setPickCallback(PickCallback callback);
    /// Called before the tree is laid out again from another node (on the way to a node far
    /// from the layout's start): whoever reads the placements on another thread stops first.
    void setBeforeRelayout(std::function<void()> hook) { beforeRelayout_ = std::move(hook); }
    /// A go-to far from the layout's start lays the tree out again from the node gone to: by
    /// default the whole graph is sized and placed anew. A region of a larger tree, whose leaves
    /// stand for subtrees it lacks, sets how it is placed from that node instead (unset: the
    /// default again).
    void setRelayout(std::function<void(Node*)> relayout) { relayout_ = std::move(relayout); }
    void display();
    void redraw();
    void reshape(int width, int height);
    int mouseButton(int button, int state, int x, int y, int shift, int ctrl);
    int mouseDrag(int x, int y, int shift, int ctrl);
    int mouseMove(int x, int y, int shift, int ctrl);
    void bindMouse(int slot, int action);
    void setLabelSide(int right);
    /// 1: every label above the threshold, overlaps and all; 0: labels never overlap.
    void setLabelsOverlap(int flag);
    float labelSize() const { return settings_.labelSize; }
    void setPickBudget(int seconds, int microseconds);
    void setDrawSphere(int flag);
    void setGroupColumn(int kind);
    void setLabelChoice(int choice);
    void setLabelSize(float size);
    void setPassiveDecimation(int count);
    void setDragDecimation(int count);
    void setNodeGenerationLimit(int count);
    void setLinkGenerationLimit(int count);
    void setRedCentreNode(int flag);
    void setAnimationStep(float step);
    void addLoadFlags(int bits);
    void clearLoadFlags();
    void setBackgroundColor(float r, float g, float b);
    void setSphereColor(float r, float g, float b);
    void setLabelColor(float r, float g, float b);

    // Read access for the glue, tools and tests.
    ViewerSettings& settings() { return settings_; }
    Graph* graph() { return graph_.get(); }
    Renderer& renderer() { return renderer_; }

private:
    // Declaration order matters: the renderer keeps a reference to the settings.
    ViewerSettings settings_;
    std::unique_ptr<Graph> graph_;
    Renderer renderer_;
    std::function<void()> beforeRelayout_;
    std::function<void(Node*)> relayout_;

    void relayoutFrom(Node* n);
};

}  // namespace orvo
