// The graph read from one file: nodes, links, the spanning tree they form, group names, the home
// view, and the per-kind tables of hidden groups and group colours (which outlive reloads).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "graph/global_transforms.h"
#include "graph/group_names.h"
#include "graph/node_index.h"
#include "graph/node_labels.h"
#include "graph/read_stats.h"
#include "memory/chunked_store.h"
#include "memory/pointer_list.h"
#include "memory/text_arena.h"
#include "settings/viewer_settings.h"

namespace orvo {

// Node flag bits.
constexpr uint8_t Selected = 1;
constexpr uint8_t Highlighted = 2;
constexpr uint8_t Shown = 4;      // also a link bit: enabled and both ends shown
constexpr uint8_t Drawn = 8;      // also a link bit
constexpr uint8_t Labelled = 16;  // its label was drawn in the current frame
// Node flag bit: a node of a veiled group. It stays Shown, so the tree goes on through it and
// what hangs below it is drawn and reachable, but it is drawn as a small grey dot, without a
// label, and nothing picks it.
constexpr uint8_t Veiled = 32;
// Link flag bit.
constexpr uint8_t Enabled = 2;

constexpr int kGroupKinds = 16;

struct Link;

/// Where a node sits in its parent's frame, kept as the few numbers that build the 4x4 transform
/// instead of the transform itself: the translation distance from the parent and the direction
/// the rotation turns +x to. Rebuilding it repeats the very operations that would have made a
/// stored one, so the composed transforms come out the same to the last bit.
/// Its kind is kept apart, on the node beside its flags, so that the numbers take 32 bytes.
struct LocalPlacement {
    /// Identity: the node is the layout's start. Inverse: the inverse of the product (a node
    /// placed relative to one of its children).
    enum Kind : uint8_t { Identity, Forward, Inverse };
    double distance = 0.0;                // translation by `distance` along -x ...
    double dx = 0.0, dy = 0.0, dz = 0.0;  // ... after the rotation carrying +x to (dx, dy, dz)

    void set(double d, const ProjPoint& direction) {
        distance = d;
        dx = direction.x;
        dy = direction.y;
        dz = direction.z;
    }
    /// The rotation part alone, +x to the direction.
    ProjTransform rotation() const;
    /// translation(distance) * rotation (or its inverse), identity for Identity.
    ProjTransform transform(Kind kind) const;
};

/// Label text 2 of an id: from its third '/' on (the whole id when there is none, or when that
/// '/' is its last character).
std::string_view pathLabelOf(std::string_view id);
/// Label text 1 of an id: the last '/'-component of pathLabelOf(id), with its leading '/'.
std::string_view shortLabelOf(std::string_view id);
/// shortLabelOf for a path label already at hand (pathLabelOf(id)).
std::string_view shortLabelOfPath(std::string_view path);

/// A node's generation and centre distance while the current frame has not reached it.
constexpr int32_t kUnreachedGeneration = 9999;
constexpr double kUnreachedDistance = 9999.0;

struct Node {
    LocalPlacement localPlacement;
    double radius = 0.1;
    double centreDistance = kUnreachedDistance;
    double apparentSize = 0.0;
    int32_t descendantCount = 0;
    int32_t index = 0;
    int32_t level = 0;
    int32_t generation = kUnreachedGeneration;
    /// The node's id, kept in its graph's id arena (see Graph::addNode).
    std::string_view id;
    /// Interned group names of the node, entry k being its group of kind k (see Graph::groupsOf).
    GroupSetId groups = kNoGroups;
    uint8_t flags = Shown;
    LocalPlacement::Kind placementKind = LocalPlacement::Identity;
    Node* parent = nullptr;
    Link* parentLink = nullptr;
    PointerList<Node> children;  // the tree link to a child is the child's parentLink
    PointerList<Link> inLinks;   // non-tree links ending here
    PointerList<Link> outLinks;  // non-tree links leaving here

    Node(Node* parent_, int32_t level_) : level(level_), parent(parent_) {}

    /// Label text 2: the id from its third '/' on (the whole id when there is none, or when that
    /// '/' is its last character). Derived, never stored.
    std::string_view pathLabel() const;
    /// Label text 1: the last '/'-component of pathLabel(), with its leading '/'.
    std::string_view shortLabel() const;

    bool isShown() const { return flags & Shown; }
    bool isDrawn() const { return flags & Drawn; }
    /// The transform from this node's frame to its parent's (derived from localPlacement).
    ProjTransform localTransform() const { return localPlacement.transform(placementKind); }
    void setPlacement(LocalPlacement::Kind kind, double distance, const ProjPoint& direction) {
        placementKind = kind;
        localPlacement.set(distance, direction);
    }
    void setPlacementIdentity() { placementKind = LocalPlacement::Identity; }
};

struct Link {
    int32_t index = 0;
    /// The extra integer of the record that made the link (0 without one); read by the
    /// ExtraField rule of the reader.
    int32_t extra = 0;
    uint8_t flags = 0;
    Node* fromNode = nullptr;
    Node* toNode = nullptr;

    /// The end ids are derived from the end nodes, which the reader always knows.
    std::string_view fromId() const { return fromNode->id; }
    std::string_view toId() const { return toNode->id; }
    /// fromId + "|" + toId.
    std::string linkId() const;

    bool isShown() const { return flags & Shown; }
};

struct GroupColor {
    std::string name;
    float rgb[3];  // red, green, blue
};

class Graph {
public:
    /// An empty graph (no node); read into it with reload() (or readAndLayOut in layout/).
    explicit Graph(const ViewerSettings& settings);
    /// Reads DEVIRIRO_DEBUG, then reload(in); the tree is not laid out.
    Graph(const ViewerSettings& settings, std::istream& in);
    ~Graph();
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    /// Hears the bytes consumed so far, now and then while a stream is read.
    using ReadReport = std::function<void(uint64_t bytesRead)>;

    /// Empties the graph and reads the stream; the tree is not laid out (see layout/). Returns
    /// false (and leaves the graph empty) when the stream held no node record. `report`, when
    /// set, hears how far the read has come.
    bool reload(std::istream& in, const ReadReport& report = {});
    /// The index of the outline's top node that the last read found, -1 when it found none. The
    /// owner of the view settings makes it the view's top node when it shows the graph.
    int32_t topNodeIndex() const { return topNodeIndex_; }
    /// Takes the nodes, links and home transform of `fresh` (a graph read with the same settings),
    /// keeping this graph's hidden groups, colours and debug level, and re-applies the hidden
    /// groups. Lets a caller read a file completely before replacing what is on view.
    void takeContentsOf(Graph& fresh);

    bool empty() const { return nodes.empty(); }
    int32_t findNodeIndex(std::string_view id) const;
    Node* findNode(std::string_view id) const;
    /// Registers n under a copy of id that the graph keeps (n->id views it) and gives n its index.
    void addNode(Node* n, std::string_view id);
    void addLink(Link* l);
    ProjTransform homeTransform() const { return homeTransform_; }
    /// Where the node stands in the frame of the node the layout started from, worked out when
    /// first asked for (the identity before any layout). Links take their end positions from
    /// their nodes instead of storing them.
    const ProjTransform& globalTransform(const Node& n) const { return transforms_.of(n); }
    ProjPoint positionOf(const Node& n) const { return transforms_.positionOf(n); }
    /// The transforms themselves: the layout restarts them, a test or a tool may place a node
    /// by hand. Working one out changes nothing a caller sees, so a const graph gives them too.
    GlobalTransforms& transforms() const { return transforms_; }
    /// What the groups of a kind are, as the file names it ("section", from a "-99 groups"
    /// record); "" when it names none (or for a kind out of range).
    std::string_view groupKindName(int kind) const {
        return kind >= 0 && kind < kGroupKinds ? std::string_view(groupKindNames_[size_t(kind)])
                                               : std::string_view();
    }

    // Reading (reader.cpp).
    void parseStream(std::istream& in, const ReadReport& report);
    Node* addRecord(Node* parent, std::string_view id, int32_t level, int32_t extra);
    int preferNewParent(const Node* newParent, const Node* oldParent, std::string_view id,
                        int32_t extra) const;

    // Groups, visibility and colours (attributes.cpp). Kinds outside 0..15 are refused.
    int setGroupHidden(int kind, std::string_view name, int hide);
    /// Veils (veil non-zero) or unveils the nodes of the group: they stay shown, as does every
    /// link, but get the Veiled flag. The empty name stands for the nodes without a group of the
    /// kind. 1 when the kind's veiled list changed, else 0.
    int setGroupVeiled(int kind, std::string_view name, int veil);
    /// The same for several groups of the kind at once (one pass over the nodes).
    int setGroupsVeiled(int kind, const std::vector<std::string>& names, int veil);
    bool isGroupVeiled(int kind, std::string_view name) const;
    bool anyGroupVeiled() const;
    void applyHiddenGroups(Node& n);
    void setShown(Node& n, int on);
    void setGroupColor(int kind, std::string_view name, float r, float g, float b);
    /// The colour (3 floats) of the group; defaultColor when unknown; nullptr for a bad kind.
    const float* groupColor(int kind, std::string_view name) const;
    const float* nodeColor(const Node& n) const;
    int setOutLinksShown(std::string_view id, int on, int recursive);
    int setInLinksShown(std::string_view id, int on, int recursive);
    void setAllNodesShown(int on);
    void setAllLinksShown(int on);
    void setNegativeLevelLinksHidden(int hide);
    std::vector<std::string> collectShownSubtree(std::string_view id, int levels) const;

    /// The node's group names, entry k of kind k.
    GroupSetView groupsOf(const Node& n) const { return groupNames_.set(n.groups); }
    std::string_view groupName(GroupNameId id) const { return groupNames_.name(id); }
    /// The node's group of kind k, or an empty view when it has none.
    std::string_view groupOf(const Node& n, int kind) const;

    /// The node's label from the file (a label record), empty when it has none.
    std::string_view labelOf(const Node& n) const { return labels_.of(n.index); }
    bool hasLabels() const { return !labels_.empty(); }
    /// Sets the node's label (an empty text takes it away).
    void setLabel(const Node& n, std::string_view text) {
        labels_.set(n.index, text, nodes.size());
    }

    // Building a graph that was read before and stored whole (graph_assembly.cpp): the nodes in
    // index order, then the links in index order, then finishAssembly. Each node's children and
    // non-tree link lists are filled by the builder, in their stored order.
    /// Empties the graph and makes room for that many nodes and links.
    void startAssembly(size_t nodeCount, size_t linkCount);
    /// A new node with the next index; its parent is set by the builder. `idHash` is the id's
    /// NodeIndex::hashOf. No id is found until indexAssembledNodes.
    Node* assembleNode(std::string_view id, uint32_t idHash, int32_t level, GroupSetId groups);
    /// Makes every node assembled so far findable by its id, all at once. -1, or the index of
    /// the first node whose id an earlier node has: the assembly must then be abandoned
    /// (startAssembly again).
    int32_t indexAssembledNodes();
    /// A new link with the next index, neither filed in its ends' lists nor made a tree link.
    Link* assembleLink(Node* from, Node* to, int32_t extra, uint8_t flags);
    /// The group names to intern in their stored order.
    GroupNames& assemblyGroupNames() { return groupNames_; }
    /// Sets what a read would have set, and applies the hidden groups in force.
    void finishAssembly(int32_t topNodeIndex, const ProjTransform& home, const ReadStats& stats);
    /// The interned group names and sets, in the order they were interned.
    const GroupNames& groupNames() const { return groupNames_; }

    // Debug dump (debug_dump.cpp).
    /// Writes the summary line to stderr when debugLevel is non-zero, returns the tree text.
    std::string summaryAndDump() const;
    std::string dumpSubtree(const Node& n, int depth) const;
    /// Writes text to "/tmp/corvane" without following a planted symbolic link and without
    /// truncating another user's file; silent on failure.
    static void writeDebugFile(const std::string& text);

    /// Set by each read of a stream.
    ReadStats readStats;

    const ViewerSettings& settings;
    Node* root = nullptr;
    std::vector<Node*> nodes;  // owned through nodeStore_
    std::vector<Link*> links;  // owned through linkStore_
    float defaultColor[3] = {0.7f, 0.7f, 0.7f};
    int32_t debugLevel = 0;
    std::array<std::vector<std::string>, kGroupKinds> hiddenGroups;
    /// For each interned group set, whether a group of hiddenGroups hides its nodes.
    std::vector<uint8_t> hiddenGroupSets() const;
    /// Per kind, the veiled groups ("" for the nodes without a group of the kind). Like the
    /// hidden lists, they survive reloads.
    std::array<std::vector<std::string>, kGroupKinds> veiledGroups;
    /// A deque so that the colour pointers handed out stay valid when entries are added.
    std::array<std::deque<GroupColor>, kGroupKinds> groupColors;

    /// Changes whenever a link's Shown flag may have changed (the visibility operations above, a
    /// new read, new contents): a viewer may keep what it derives from the flags until then.
    uint64_t linkVisibilityVersion() const { return linkVisibilityVersion_; }

    /// Like writeDebugFile, to any path; true when the whole text was written.
    static bool writeDebugFileTo(const char* path, const std::string& text);

private:
    struct ReadState;  // lookups that only live while a stream is read (reader.cpp)
    struct Remains;    // what clearContents hands over to be destroyed in the background

    struct RecordResult {
        Node* node;    // the record's node, new or found
        bool created;  // the record made it
    };
    /// addRecord with the id's NodeIndex::hashOf at hand, telling the node it found too.
    RecordResult applyRecord(Node* parent, std::string_view id, uint32_t idHash, int32_t level,
                             int32_t extra);
    /// Makes room for the records of a stream of that many bytes (reader.cpp).
    void reserveForBytes(uint64_t bytes);
    void clearContents();
    void addNodeWithHash(Node* n, std::string_view id, uint32_t idHash);
    Node* newNode(Node* parent, int32_t level);
    Link* newLink(Node* from, Node* to, int32_t extra, uint8_t flags);
    bool hasLinkTo(const Node* from, const Node* to) const;
    void moveNode(Node* x, Node* newParent, int32_t extra);
    void detachFromParent(Node* x);
    Link* nonTreeLink(const Node* from, const Node* to) const;
    void unfileNonTreeLink(Link* l);
    void finishRead();
    bool anyGroupHidden() const;
    void applyHiddenGroupsToAll();
    void applyVeilsToAll();

    ProjTransform homeTransform_ = ProjTransform::identity();
    std::array<std::string, kGroupKinds> groupKindNames_;
    int32_t topNodeIndex_ = -1;
    uint64_t linkVisibilityVersion_ = 0;
    NodeIndex nodeIndexById_;
    GroupNames groupNames_;
    ChunkedStore<Node> nodeStore_;  // stable addresses, no allocation per node
    ChunkedStore<Link> linkStore_;
    TextArena idStore_;  // the bytes of every node id
    NodeLabels labels_;
    mutable GlobalTransforms transforms_;
    std::unique_ptr<ReadState> read_;  // set only while parseStream runs
};

/// DEVIRIRO_DEBUG read as a decimal integer (leading blanks, optional sign, digits); 0 when unset.
int32_t readDebugLevel();

}  // namespace orvo
