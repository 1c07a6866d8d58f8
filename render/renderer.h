// Draws the laid-out graph with OpenGL 1.1 through the view transform: progressive frames that
// spread out from the centre node in time slices, labels, picking (in selection mode, or from
// what the frame drew) and navigation.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "geometry/quaternion.h"
#include "render/draw_batch.h"
#include "render/drawn_order.h"
#include "render/expand_queue.h"
#include "render/gl_surface.h"
#include "render/label_space.h"
#include "render/pick_bounds.h"
#include "render/shown_link_cache.h"
#include "render/time_pair.h"

namespace orvo {

class Graph;
class ModernBackend;
struct Node;
struct Link;
struct ViewerSettings;
struct WindowSquare;

/// Pick names: a node's index, the complement of a link's index, or kNothingPicked.
constexpr uint32_t kNothingPicked = 0x80000001u;

/// Called by a click with what was hit: a node id, a link id ("from|to") or "" for nothing.
using PickCallback = std::function<void(const std::string& id, int shift, int ctrl)>;
/// A mouse action bound to an event slot.
using MouseAction = std::function<void(int x, int y, int shift, int ctrl)>;

/// The selection ring's colour: a pale violet that no site colour, status or palette colour comes
/// near (the selection yellow would pass for "changed" or "redirect").
inline constexpr std::array<float, 4> kSelectionRingColour{0.8f, 0.7f, 1.0f, 1.0f};

class Renderer {
public:
    Renderer(ViewerSettings& settings, GlSurface& surface);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // GL set-up, camera and projection.
    void initContext(GlContext* context, int width, int height);
    void resetViewWith(const ProjTransform& m);
    void resetViewToNode(int32_t index);
    void resize(int width, int height);
    void updateProjection();
    void setClearColour();
    void buildSphereList();
    void markSelected(Node& node, int on);
    GlSurface& surface() { return surface_; }
    GlContext* context() const { return context_; }

    // Progressive frame.
    void setGraph(Graph* graph);
    void drawFrame();
    int idleStep();
    void setKeepRedrawing(uint8_t flag);
    int keepRedrawing() const { return keepRedrawing_; }
    void keepCentreShown();
    /// Prepares, once a graph is on view, what its frames would otherwise prepare inside their
    /// first slice: the shown links of the nodes with very many, the rasteriser's code for each
    /// kind of drawing. Draws into the back buffer only; the next frame starts by clearing it.
    void prepareFrames();

    // Picking.
    uint32_t pick(int x, int y);
    void hoverHighlight(int x, int y, int shift, int ctrl);
    /// Forgets the node under the pointer without drawing: the next frame draws it in its own
    /// colour (after a click, a flight or a change of what can be picked).
    void dropHover();
    void clickPick(int x, int y, int shift, int ctrl);
    void setPickCallback(PickCallback callback) { pickCallback_ = std::move(callback); }
    /// The node or link a pick name names, or none.
    Node* nodeNamed(int64_t name) const;
    Link* linkNamed(int64_t name) const;
    /// Whether a pick skips objects whose projected extent cannot touch the pick region (on by
    /// default; the first hit is the same either way, only the time differs).
    void setPickPrefilter(bool on) { pickPrefilter_ = on; }
    /// Whether a pick finds what the frame drew from what the frame recorded (its nodes' cubes,
    /// links and labels, carried into the window on the processor, no GL call) rather than by
    /// drawing again in selection mode. Always so on the shader back end, which has no selection
    /// mode; on the GL 1.1 path off unless set, the same objects found either way.
    void setPickFromDrawn(bool on) { pickFromDrawn_ = on; }
    bool picksFromDrawn() const { return pickFromDrawn_ || modern_ != nullptr; }

    /// Colours the nodes' cubes from a table (red, green, blue of every node by index, such as
    /// a MeasureColouring's) instead of by their groups; nullptr goes back to the groups. The
    /// table must outlive its use, and be as long as the graph's nodes, or it is not used.
    void setNodeColours(const std::vector<float>* rgb) { nodeColours_ = rgb; }
    const std::vector<float>* nodeColours() const { return nodeColours_; }
    /// Where a slice's labels compete for room, the node ranked higher (such as by its link
    /// score, a number per node by index) gets it, equal ranks the larger node; nullptr goes
    /// back to the larger node first. The same lifetime and length rules as setNodeColours.
    void setLabelRanks(const std::vector<double>* ranks) { labelRanks_ = ranks; }
    const std::vector<double>* labelRanks() const { return labelRanks_; }

    /// Whether a frame's slices gather their cubes and links into vertex arrays (on by default)
    /// or draw each node with calls of its own; the picture is the same either way.
    void setBatchedDrawing(bool on) { batchedDrawing_ = on; }
    bool batchedDrawing() const { return batchedDrawing_; }

    /// Whether the surface's context is drawn through shaders and buffers (an ES 3 or 3.3 core
    /// context) rather than the fixed functions. That back end draws labels from a glyph atlas
    /// and picks from what the frame drew.
    bool modern() const { return modern_ != nullptr; }
    /// Whether the shader back end may draw two-pixel links as the GL's own wide lines where it
    /// has them (the default) rather than always as quads, as WebGL must; read by initContext.
    void setGlWideLines(bool on) { glWideLines_ = on; }
    /// Why the shader back end could not be set up on its context; "" when it draws.
    std::string backendError() const;

    // Navigation.
    void bindMouse(int slot, int action);
    void bindMouse(int slot, MouseAction handler);
    int mouseButton(int button, int state, int x, int y, int shift, int ctrl);
    int mouseDrag(int x, int y, int shift, int ctrl);
    int mouseMove(int x, int y, int shift, int ctrl);
    void dragTranslate(int x, int y, int shift, int ctrl);
    void dragRotate(int x, int y, int shift, int ctrl);
    int centrePoint(int immediate);
    int gotoNodeView(Node* node, int immediate);
    /// The animated transition; the last frame starts from `arrival` when one is given.
    void animateTo(const ProjPoint& p, const Quaternion& target, double distance, double rotation,
                   ProjTransform startView, Node* arrival = nullptr);

    // Labels.
    void updateLabelThreshold();
    void buildFont();
    /// Draws the node's label with its left (or, labels right, right) end at the anchor.
    void drawLabel(const Node& n, const ProjPoint& anchor);
    /// Where the node's label starts on the screen in the current view: its measuring point on
    /// the label's side (see drawNode), with z turned towards the viewer.
    ProjPoint labelAnchorOf(const Node& n) const;
    /// The label's anchor from the node's measuring point on the label's side.
    ProjPoint labelAnchorFrom(const Node& n, const ProjPoint& side) const;
    int textWidth(std::string_view text) const;
    /// The apparent size above which a node gets a label: the threshold itself while labels may
    /// overlap, a part of it while overlapping labels are left out.
    float labelLimit() const;
    /// The box the node's label takes in the current view (GL window pixels, y up).
    LabelBox labelBoxOf(const Node& n) const;
    void setLabelRight(uint8_t right) { labelRight_ = right; }
    uint8_t labelRight() const { return labelRight_; }

    // State that the viewer, tools and tests read.
    const ProjTransform& viewTransform() const { return viewTransform_; }
    void setViewTransform(const ProjTransform& t) {
        viewTransform_ = t;
        pickBoundsValid_ = false;
    }
    const ProjTransform& baseView() const { return baseView_; }
    const ProjTransform& screenMatrix() const { return screenMatrix_; }
    /// A node measured on the screen: its place in the world, and two points in front of its
    /// centre, to its right and to its left, in window coordinates.
    struct ScreenMeasure {
        ProjPoint world, right, left;
    };
    ScreenMeasure measureOnScreen(const Node& n) const;
    Node* centreNode() const { return centreNode_; }
    void setCentreNode(Node* n) { centreNode_ = n; }
    /// The node the last goto brought to the centre (drawn over its own links while a frame
    /// starts at it).
    Node* arrival() const { return arrival_; }
    void setArrival(Node* n) { arrival_ = n; }
    const std::vector<Node*>& drawnNodes() const { return drawnNodes_; }
    const std::vector<Link*>& drawnLinks() const { return drawnLinks_; }
    const ProjPoint& pickedPoint() const { return pickedPoint_; }
    int32_t hoveredName() const { return hoveredName_; }
    float labelThreshold() const { return labelThreshold_; }
    const FontMetrics& fontMetrics() const { return font_; }
    unsigned fontListBase() const { return fontListBase_; }
    std::array<int, 4> viewport() const { return viewport_; }
    /// Nodes drawn by the last drawFrame/idleStep call (for tests and benchmarks).
    int nodesDrawnLastSlice() const { return nodesDrawnLastSlice_; }

    /// A label drawn in the current frame: its box in GL window pixels, its window depth and
    /// the anchor it was placed at.
    struct DrawnLabel {
        Node* node;
        LabelBox box;
        double depth;
        ProjPoint anchor;
    };
    const std::vector<DrawnLabel>& drawnLabels() const { return drawnLabels_; }
    /// What the current frame drew, in drawing order: a node's cube (label -1) or the label
    /// drawnLabels()[label].
    struct DrawnItem {
        Node* node;
        int32_t label;
    };
    const std::vector<DrawnItem>& drawLog() const { return drawLog_; }
    /// The window extent of a node's cube in the current view (GL window pixels, y up).
    WindowBox cubeBoxOnScreen(const Node& n) const;
    /// The ring that marks the centre or a selected node: the cube's window box grown by the gap
    /// and the ring's width (empty when the cube is not on the screen).
    WindowBox markBoxOf(const Node& n) const;
    /// Whether labels and marks are drawn over everything else of the frame (the default rule,
    /// labels that never overlap), rather than each at its node's depth as the node is drawn.
    bool labelsOnTop() const;
    /// The node the current frame started at (the centre), once it is drawn.
    Node* frameCentre() const { return frameCentre_; }

private:
    void beginFrame();
    void resumeFrame();
    /// initContext's steps for the shader back end: matrices computed here, no display lists.
    void initModernContext();
    /// The end of initContext on either back end: the home view, an empty first frame, the font,
    /// then the sphere drawn through the view.
    void showFirstFrames();
    void setCamera();
    /// The fixed-function matrix stacks set to the projection (and pick region) and the camera.
    void setFixedCamera();
    void swap();
    // With a batch (a slice's drawing) cubes and links are added to it; without one (picking,
    // hover, per-node drawing) each is drawn at once.
    void drawNode(Node* n, DrawBatch* batch);
    void drawNodeLinks(Node* n, DrawBatch* batch);
    void drawLink(Link* k, DrawBatch* batch);
    /// The end of a slice: what the batch still holds, the slice's nodes merged into the drawn
    /// ones from `sliceStart` on, the labels it put off; then the swap or the flush.
    void finishSlice(DrawBatch* batch, size_t sliceStart, size_t labelsFrom, size_t marksFrom);
    /// Closes the run of lines that drawLink keeps open outside selection.
    void endLinks();
    void redrawPicked();
    /// The selection pass that finds what is drawn at the pointer's pixel: node cubes and labels,
    /// the nearest one wins. False when none is there.
    bool pickUnderPointer(uint32_t& name, float& winz);
    /// The pass over a 3 x 3 region in drawing order: links, and cubes next to the pointer.
    bool pickNearPointer(uint32_t& name, float& winz);
    void drawPickedLabelBoxes();
    /// The pick from what the frame drew (see setPickFromDrawn): the same two steps as the
    /// selection passes, the same objects in the same order, their geometry clipped on the
    /// processor. Each gives the name found and its window depth.
    uint32_t pickDrawn(int x, int y);
    bool pickDrawnUnder(uint32_t& name, double& depth);
    bool pickDrawnNear(uint32_t& name, double& depth);
    /// Whether the frame's recorded pick bounds hold for the window matrix (and, `links`, for
    /// the graph's link visibility).
    bool pickBoundsHold(const ProjTransform& window, bool links) const;
    /// The nearest window depth of n's cube (as a pick draws it) inside the square.
    bool cubeDepthInSquare(const Node& n, const ProjTransform& window, const WindowSquare& square,
                           double& depth) const;
    /// The picked point from the pointer and the window depth of what was hit.
    void setPickedPoint(int x, int y, double windowDepth);
    /// The hover redraw of the shader back end: the nodes drawn again through a batch.
    void redrawHovered(Node* old, Node* now);
    /// The labels drawn over everything: the label box whose pixel the pointer is on, if any.
    bool pickLabelOnTop(uint32_t& name, float& winz) const;
    /// Draws n's label unless it would overlap a label drawn before it in this frame (while
    /// overlaps are not wanted); the hovered and the selected node always get theirs.
    void placeLabel(Node& n, const ProjPoint& anchor, DrawBatch* batch);
    /// Places the labels a slice has put off, largest node first.
    void placeDeferredLabels();
    /// The colour a node's cube is filled with.
    const float* cubeColour(const Node& n) const;
    /// With labels on top, the end of every slice: the rings of the nodes marked since
    /// `marksFrom`, then the labels placed since `labelsFrom`, in front of whatever later
    /// slices draw.
    void drawOnTop(size_t labelsFrom, size_t marksFrom);
    /// A label drawn in front of everything, its box and text at the nearest depth, so that
    /// nothing drawn later in the frame crosses it.
    void drawLabelOnTop(const Node& n, const ProjPoint& anchor);
    /// The ring round a node's cube: the selection colour for a selected node, the ink of the
    /// labels for the centre, each with an edge that sets it off from the background.
    void drawMark(const Node& n);
    /// Whether the node is ringed (with labels on top: the centre and the selected nodes).
    bool isMarked(const Node& n) const;
    /// Notes the node as marked in this frame and keeps labels off its cube.
    void noteMarked(Node& n);
    /// At a frame's start: the cubes of the centre and of the node selected last are kept free
    /// of every label the frame places, whichever is drawn first.
    void keepLabelsOffMarkedCubes(const ProjTransform& window);
    std::string_view labelText(const Node& n) const;
    /// Where a label with that text goes at the anchor: its box, where its text starts, and how
    /// many leading characters are cut off for it to start at the window's left edge.
    struct LabelPlace {
        LabelBox box;
        double textX;
        size_t skipped;
    };
    LabelPlace labelPlaceOf(std::string_view text, const ProjPoint& anchor) const;
    /// drawLabel with the box at window depth `boxZ` (the orthographic z of the label pass).
    void drawLabelAt(const Node& n, const ProjPoint& anchor, double boxZ);
    /// drawLabelAt on the shader back end: the same box, colours and text, from the atlas.
    void drawModernLabel(const Node& n, const ProjPoint& anchor, double boxZ);
    /// A label's box colour and ink (RGB): inverted for the highlighted node.
    struct LabelInks {
        const float* box;
        const float* text;
    };
    LabelInks labelInksOf(const Node& n) const;
    bool makeCurrent();
    /// Makes v the view when all its elements are finite; false (view unchanged) otherwise.
    bool commitView(const ProjTransform& v);
    void redrawNodeInFront(Node* n);
    /// Empties the pending list, giving the nodes it still held back their unreached generation.
    void dropPendingNodes();
    /// Empties what a frame recorded of what it drew: links, labels, the log, marks, colours.
    void clearFrameRecords();
    // Pick pre-filter: whether the projected extent of a cube or a line can reach the pick region.
    void preparePickFilter();
    bool nodeMayTouchPick(const Node& n) const;
    bool linkMayTouchPick(const Link& k, float lineWidth) const;
    /// Appends to the pick bounds what a pick pass can draw for n.
    void recordPickBounds(const Node& n);
    /// Merges the drawn nodes from `from` on into their order, their pick bounds with them.
    void mergeDrawnNodes(size_t from);
    ProjTransform currentWindowMatrix() const;

    ViewerSettings& settings_;
    GlSurface& surface_;
    GlContext* context_ = nullptr;
    Graph* graph_ = nullptr;
    const std::vector<float>* nodeColours_ = nullptr;
    const std::vector<double>* labelRanks_ = nullptr;
    std::array<int, 4> viewport_{0, 0, 0, 0};

    ProjTransform viewTransform_ = ProjTransform::identity();
    ProjTransform baseView_ = ProjTransform::identity();
    ProjTransform projectionMatrix_ = ProjTransform::identity();
    ProjTransform cameraMatrix_ = ProjTransform::identity();
    ProjTransform screenMatrix_ = ProjTransform::identity();

    // Progressive frame.
    Node* centreNode_ = nullptr;
    // The node the last goto brought to the centre: while a frame starts at it, it is drawn
    // again over its own links (thousands of them may leave it towards the viewer) and always
    // gets its label.
    Node* arrival_ = nullptr;
    Node* lastSelected_ = nullptr;  // the node markSelected selected last, while it stays so
    double bestApparentSize_ = -1.0;
    ProjPoint viewCentre_;
    std::vector<Node*> pendingNodes_;  // FIFO (read from pendingHead_)
    size_t pendingHead_ = 0;
    ExpandQueue expandQueue_;
    // Largest apparentSize first, equal sizes in drawing order, outside a slice (see
    // drawn_order.h).
    std::vector<Node*> drawnNodes_;
    DrawnOrderScratch drawnOrderScratch_;
    std::vector<Link*> drawnLinks_;
    TimePair frameStart_;
    uint8_t continuing_ = 0;
    uint8_t keepRedrawing_ = 0;
    int nodesDrawnLastSlice_ = 0;

    // Labels drawn in the current frame and the order of everything drawn.
    LabelSpace labelSpace_;
    struct LabelCandidate {
        Node* node;
        ProjPoint anchor;
    };
    // While a slice draws, the labels that must not overlap wait for its end, so that the
    // largest of its nodes get theirs first (a node's children are drawn in list order).
    bool deferLabels_ = false;
    std::vector<LabelCandidate> deferredLabels_;
    std::vector<DrawnLabel> drawnLabels_;
    std::vector<DrawnItem> drawLog_;
    // With labels on top: the slice in progress only records labels (drawn at its end); the node
    // the frame started at; the centre and selected nodes drawn in this frame, to be ringed.
    bool inSlice_ = false;
    Node* frameCentre_ = nullptr;
    std::vector<Node*> markedNodes_;
    // With labels on top, the cube colours drawn in this frame and how many nodes have each, and
    // the small cubes of this slice that labels keep off if their colour is rare in the frame.
    std::vector<std::pair<const float*, uint32_t>> frameColours_;
    uint32_t frameColouredNodes_ = 0;
    std::vector<std::pair<const float*, LabelBox>> smallCubes_;
    /// Counts the node's colour and keeps labels off its cube where it must stay in sight.
    void noteCube(const Node& n, const ProjTransform& window);
    /// Keeps labels off the slice's small cubes whose colour is rare in the frame.
    void reserveRareCubes();

    // Batched drawing: the buffers a slice gathers its cubes and links in, kept between slices.
    bool batchedDrawing_ = true;
    DepthFunction depthFunction_;
    DrawBatch batch_{depthFunction_};
    /// The batch drawing goes through, or none for per-node calls (the shader back end has none).
    DrawBatch* drawingBatch() { return batchedDrawing_ || modern_ ? &batch_ : nullptr; }
    // The shader back end, when the surface's context has no fixed functions.
    std::unique_ptr<ModernBackend> modern_;
    bool glWideLines_ = true;

    // Picking.
    uint8_t picking_ = 0;
    bool pickingUnder_ = false;  // the pass at the pointer's pixel (else the 3 x 3 region)
    int pickX_ = 0, pickY_ = 0;
    float depthScale_;
    bool pickPrefilter_ = true;
    bool pickFromDrawn_ = false;
    ShownLinkCache shownLinks_;  // for nodes with very many non-tree links
    float linkWidth_ = 1.0f;     // the line width drawNodeLinks set for the links it draws
    bool linesOpen_ = false;     // inside glBegin(GL_LINES) of a node's links
    // Extents of what a pick can draw for each entry of drawnNodes_, recorded as the frame draws
    // them through boundsWindow_; trusted while the window matrix and the graph's link
    // visibility are unchanged.
    std::vector<PickBounds> pickBounds_;
    ProjTransform boundsWindow_ = ProjTransform::identity();
    uint64_t boundsLinkVersion_ = 0;
    bool pickBoundsValid_ = false;
    ProjTransform pickWindow_ = ProjTransform::identity();  // view space -> GL window pixels
    double pickWindowX_ = 0.0, pickWindowY_ = 0.0;          // pick centre, GL window pixels
    ProjPoint pickedPoint_;
    int32_t hoveredName_ = -1;
    int pressX_ = 0, pressY_ = 0;
    PickCallback pickCallback_;

    // Mouse and navigation.
    std::array<MouseAction, 7> eventSlots_;
    int lastButton_ = 0, buttonState_ = 1;
    int lastX_ = 0, lastY_ = 0;
    int dragCounter_ = 0, passiveCounter_ = 0;
    Quaternion baseOrientation_;

    // Labels.
    float labelThreshold_ = 0.0f;
    uint8_t labelRight_ = 0;
    unsigned fontListBase_ = 0;
    FontMetrics font_;
};

}  // namespace orvo
