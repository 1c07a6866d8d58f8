// A map kept mapped while only a region of its tree is in memory. Opening it checks the file and
// works out where each node's children and links lie, without building a single node; a region
// around any node is then built into a graph when asked for, every node of it placed to the last
// bit where the whole graph would place it, so that a view of the region is the view of the map.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graph/node_measures.h"
#include "graph/node_search.h"
#include "memory/file_excerpts.h"

namespace orvo {

class Graph;
struct Node;

/// What a region holds beside its graph.
struct MapRegion {
    /// The map's index of each graph node, increasing: the graph keeps the map's node order.
    std::vector<uint32_t> mapIndex;
    /// Whether each graph node has its children in the region; a node without stands for its
    /// whole subtree, with the radius and descendant count the subtree gives it.
    std::vector<bool> expanded;
    /// The map's measures of the region's nodes, by graph index.
    NodeMeasures measures;
    /// The map node the region was built around, and the one its layout started from.
    uint32_t focus = 0;
    uint32_t layoutStart = 0;
    /// Every node at most this many steps away from the focus in the tree has its children in
    /// the region (kWholeTree: the region is the whole map).
    uint32_t reach = 0;
    static constexpr uint32_t kWholeTree = 0xffffffffu;

    /// The graph index of map node m, -1 when the region lacks it.
    int32_t graphIndexOf(uint32_t m) const;
    /// How many blocks of the file its build read (those the map's first reads held are not).
    uint64_t blocksRead = 0;
};

/// About how many nodes the region built at once around the home node holds, and the longest
/// lists of links out or in it reads: what a map's first reads are recorded for.
inline constexpr uint64_t kFirstRegionNodes = 4000;
inline constexpr uint32_t kFirstRegionListScanLimit = 64;

/// The shape of a map's tree, read from its records without building a node.
struct MapTreeShape {
    uint64_t depth = 0;         // hops from the root to the deepest node
    uint64_t widestFanOut = 0;  // most children of one node
    uint32_t widestNode = 0;    // the first node in map order with that many
};

inline constexpr const char* kMapFileChanged = "the file was changed on disk since it was opened";

/// The node count a map's meta section gives, read without checking the map (0 when the file is
/// no map, or too short to tell): enough to choose how to open it.
uint64_t peekMapNodeCount(const std::string& path);
/// The same of a map held in memory.
uint64_t peekMapNodeCount(const unsigned char* bytes, size_t size);

/// What a map's name index finds of a query at once.
struct IndexedFind {
    /// The hits among the nodes the index gives, ranked as the whole search ranks them; the
    /// total counts the hits among the nodes looked at (see searchAmong), a lower bound of the
    /// whole search's.
    SearchResult result;
    size_t exact = 0;  // how many of the hits are exact
    /// Whether they hold every exact hit of the map (false for the one query the index cannot
    /// answer so, "/"). Then, as exact hits rank first, when `exact` reaches the limit the hits
    /// are the whole search's.
    bool exactComplete = false;
    bool isWholeSearchsBest(size_t limit) const {
        return exactComplete && limit > 0 && exact >= limit;
    }
};

class MapRegionSource {
public:
    MapRegionSource();
    ~MapRegionSource();
    MapRegionSource(const MapRegionSource&) = delete;
    MapRegionSource& operator=(const MapRegionSource&) = delete;

    /// Maps the file read-only and checks it: the header, every section's bounds and checksum,
    /// the counts and parents, the links' ends. "" or why not (a sentence without the file's
    /// name). A map without measures cannot give regions: the descendant counts that order a
    /// parent's children come from its subtree sizes.
    std::string open(const std::string& path);
    /// As open, for the map file open as `fd` (which stays the caller's).
    std::string openDescriptor(int fd);
    /// As open, for a map held in memory, which the caller keeps unchanged while it is open:
    /// every checksum is checked here (check() has nothing left). A map without measures is
    /// opened too, its measures worked out here from its parents and links as they are for a
    /// whole graph, but its link scores, zeros until workOutLinkScores.
    std::string openBytes(const unsigned char* bytes, size_t size);
    /// Whether the link scores of the map's measures are still to be worked out, and works them
    /// out (the regions built from now on carry them; measuresOf gives those of one built
    /// before). "" or why not.
    bool linkScoresPending() const;
    std::string workOutLinkScores();
    /// The map's measures of the region's nodes, as the region was built with them.
    NodeMeasures measuresOf(const MapRegion& region) const;
    bool isOpen() const;
    /// Checks the checksums of the large sections, which open() leaves unchecked so that the
    /// first region comes at once (every record a region reads is checked as it is read, so
    /// damage there cannot do harm before). "" when they match (or `stop` turned true first),
    /// else why not. May run on a thread of its own while regions are built.
    std::string check(const std::atomic<bool>* stop = nullptr) const;
    /// Whether the file was cut short since it was opened: what is read of it then is zeros,
    /// and every region is refused with kMapFileChanged.
    bool changed() const;

    uint64_t nodeCount() const;
    /// How many of the map's nodes have each group set (entry s: set s, in the order a region's
    /// graph interns them).
    std::vector<uint64_t> groupSetNodes() const;
    uint64_t linkCount() const;
    /// The node the view starts at: the map's top node, else the one its layout started from.
    uint32_t homeNode() const;
    /// Node m's id, viewed in the mapped file.
    std::string_view idOf(uint32_t m) const;
    /// The map index of the node with this id, -1 when there is none: from the name index when
    /// the map has one, else by a pass over the ids.
    int64_t findNode(std::string_view id) const;
    /// Whether the map has a name index in use, and why one it has is not.
    bool hasNameIndex() const;
    std::string nameIndexNote() const;
    /// The nodes the name index finds for the query (those filed under its segment, its label or
    /// a word of a label, checked against `ids`, idTextSpans()'s), or nothing without an index.
    std::optional<IndexedFind> findByNames(const IdTextSpans& ids, std::string_view query,
                                           size_t limit) const;
    /// Every id of the map end to end with where each starts, viewed in the mapped file, and
    /// the labels it gives (those out of bounds or not fit to show left out): what Find searches
    /// in place. Valid while the map is open.
    IdTextSpans idTextSpans() const;

    /// The tree's depth and widest fan-out, in a pass over the map's children that holds a
    /// stack as deep as the tree, never the tree: "" or why not.
    std::string treeShape(MapTreeShape& shape) const;

    /// Empties the graph (its hidden groups and colours stay) and builds into it the region
    /// around map node `focus`: the paths from the root to the focus, the top and the start
    /// node, then the nodes by growing distance in the tree from the focus, each node taken with
    /// all its children, until about `budget` nodes. The graph comes out placed; its top node is
    /// the map's when the region holds it. "" or why not; on failure the graph is left empty.
    /// The non-tree links are those between the region's nodes, but for the links between two
    /// hubs (nodes whose lists of links out, or in, are longer than the scan limit); a hub's long
    /// list holds its links in link order rather than in the map's order. `listScanLimit`, when
    /// given, takes the place of the one set for this call. The region is placed as the whole
    /// map laid out from `layoutStart` (by default the node its layout started from), and holds
    /// the path down to that node.
    std::string buildRegion(uint32_t focus, uint64_t budget, Graph& graph, MapRegion& region,
                            std::optional<uint32_t> listScanLimit = std::nullopt,
                            std::optional<uint32_t> layoutStart = std::nullopt) const;
    /// Places a region's graph (built by buildRegion) anew, the tree laid out from its node
    /// `start`: each node's radius and descendant count are the same whichever node the layout
    /// starts from (a parent is sized from its children's in both directions), so only the
    /// places change, and they are those of the whole map laid out from `start`.
    void placeFrom(Graph& graph, Node* start) const;

    /// Whether the map's first reads are in use, and why ones it has are not.
    bool hasFirstReads() const;
    std::string firstReadsNote() const;
    /// The ranges of the file that building the region around `focus` with this budget and
    /// list scan limit reads (as buildRegion would, the first reads aside), merged where they
    /// lie at most `gap` bytes apart: what a map's first reads keep. "" or why not.
    std::string regionReads(uint32_t focus, uint64_t budget, uint32_t listScanLimit,
                            uint64_t gap, std::vector<ByteRange>& reads) const;

    /// Gives back the pages of the file that reads have mapped into the process (the system
    /// keeps them cached): what a region, a pass over the ids or a search has read is not held
    /// after it. Reads go on as before. A map held in memory keeps its bytes.
    void letGo() const;

    /// Lists of links out or in longer than this are not read for a region; their links are
    /// found from their other ends (see buildRegion).
    void setListScanLimit(uint32_t entries) { listScanLimit_ = entries; }
    /// A region of a budget up to this copies the records it reads out of the file a block at a
    /// time instead of reading them where the file is mapped. Its records lie all over the file,
    /// and each fault on the mapping maps the pages around the record too: a small region of a
    /// map of millions of nodes would leave most of the file mapped into the process, and take
    /// longer than the copies. A larger region reads much of the file anyway, and the mapping
    /// serves it faster.
    void setCopiedReadsUpTo(uint64_t budget) { copiedReadsUpTo_ = budget; }
    static constexpr uint64_t kCopiedReadsUpTo = 100000;

private:
    struct Mapped;
    uint32_t listScanLimit_ = 4096;
    uint64_t copiedReadsUpTo_ = kCopiedReadsUpTo;
    std::string openMapped(std::unique_ptr<Mapped> mapped);
    // `record`, when given, gets every range read, read from the file itself.
    std::string assemble(uint32_t focus, uint64_t budget, uint32_t listScanLimit,
                         uint32_t layoutStart, Graph& graph, MapRegion& region,
                         std::vector<ByteRange>* record = nullptr) const;
    std::unique_ptr<Mapped> map_;
};

}  // namespace orvo
