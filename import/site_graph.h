// The graph an importer or the crawler builds before it is written as an outline: nodes with
// ids and groups, a spanning tree, and further references. Pages discovered breadth-first make
// the tree; every further reference becomes a repeated record one level below the node that
// holds it, so that the reader's move-or-link rules decide for it as for any crawl.
#pragma once

#include <array>
#include <boost/unordered/unordered_flat_map.hpp>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "import/id_table.h"
#include "import/import.h"
#include "memory/text_arena.h"

namespace orvo {

class OutlineWriter;

class SiteGraph {
public:
    using Index = uint32_t;
    static constexpr Index kNone = ~Index{0};
    static constexpr int kKinds = 2;  // groups of kind 0 and kind 1 per node

    SiteGraph();
    ~SiteGraph();
    SiteGraph(const SiteGraph&) = delete;
    SiteGraph& operator=(const SiteGraph&) = delete;

    /// The node with the id, created (outside the tree, without groups) when there is none.
    Index intern(std::string_view id, bool* created = nullptr);
    /// intern() of each id in turn, into `nodes` (as long as `ids`), with the lookups' memory
    /// reads overlapped: much faster than one at a time on a graph too big for the cache.
    void internAll(std::span<const std::string_view> ids, std::span<Index> nodes);
    /// A new node (outside the tree, without groups) whose id the caller knows no node has yet,
    /// so that it is not looked up: readers that tell nodes apart by number.
    Index add(std::string_view id);
    /// The node with the id, or kNone.
    Index find(std::string_view id) const;
    size_t size() const { return ids_.size(); }
    /// Makes room for this many nodes.
    void reserve(size_t nodes);
    std::string_view id(Index n) const { return ids_[n]; }

    /// Makes the node the top of the tree. Only once, before anything is attached.
    void setRoot(Index n);
    Index root() const { return root_; }
    /// Hangs `child`, which must not be in the tree yet, under `parent` (in the tree) after its
    /// other children.
    void attach(Index parent, Index child);
    bool inTree(Index n) const { return n == root_ || links_[n].parent != kNone; }
    Index parent(Index n) const { return links_[n].parent; }
    /// Children in the order they were attached.
    std::vector<Index> children(Index n) const;

    /// A reference from `from` to `to` that is not a tree link. Self-references, references to
    /// one's own tree child and repeats from the same node are left out when written.
    void addFurtherReference(Index from, Index to);
    /// Makes room for this many further references (more, all told).
    void reserveFurtherReferences(size_t count) { references_.reserve(references_.size() + count); }

    struct Reference {
        Index node = kNone;
        bool discovered = false;  // the reference brought the node into the tree
    };
    /// For breadth-first discovery: page `from` (in the tree) refers to `id`, in document order.
    /// A node not yet in the tree hangs under `from`; otherwise the reference is a further one.
    /// A reference of a page to itself is ignored (node kNone).
    Reference addReference(Index from, std::string_view id);

    /// Sets the node's group name of kind 0 or 1 (an empty name clears it).
    void setGroup(Index n, int kind, std::string_view name);
    std::string_view group(Index n, int kind) const;

    /// Sets the text the node shows instead of its id (an empty one clears it).
    void setLabel(Index n, std::string_view label);
    std::string_view label(Index n) const {
        return n < labels_.size() ? labels_[n] : std::string_view();
    }

    /// Writes the tree in pre-order (an explicit stack, never recursion), each node at its depth
    /// with level 0 for the root, followed by its further references to nodes already written;
    /// references to nodes written later follow after the whole tree, under the same node (its
    /// path from the root restated as repeated records, which change nothing). Ids that need it
    /// are percent-encoded; should two ids become one that way, the later one is encoded
    /// strictly (and numbered if need be) with a warning. A record too long for the format is
    /// left out with a warning: its children hang one level up, its references are dropped; the
    /// top's is an error (the tree would have as many tops as it has children).
    /// A node with a label has its label record right after its first record.
    /// Nodes outside the tree are not written. Returns false when cancelled or when the stream
    /// failed (result.error says which).
    bool write(OutlineWriter& writer, const ImportProgress& progress, ImportResult& result) const;

    /// Bytes held, roughly (for the benchmarks' memory figures).
    size_t memoryUsed() const;

private:
    uint32_t internGroup(std::string_view name);
    /// intern() once the table is up to date and the id's hash known.
    Index findOrAdd(std::string_view id, uint64_t hash, bool* created = nullptr);
    /// Brings the id table up to date with the nodes added since it was last used.
    void indexIds() const;

    TextArena texts_;  // the bytes of every id
    std::vector<std::string_view> ids_;
    // The id table is filled only when an id is looked up: a graph whose nodes all came through
    // add() never pays for it (a third of a numbered graph's import). Mutable for find().
    mutable IdTable byId_;
    mutable size_t indexed_ = 0;       // ids_[0, indexed_) are in byId_
    mutable bool tableSized_ = false;  // byId_ has room for reserved_ ids
    size_t reserved_ = 0;
    // A node's place in the tree, together: attaching and walking touch one of these per node.
    struct Links {
        Index parent = kNone, firstChild = kNone, lastChild = kNone, nextSibling = kNone;
    };
    std::vector<Links> links_;
    std::vector<std::array<uint32_t, kKinds>> groups_;  // 0: none, else 1 + name index
    std::vector<std::string> groupNames_;
    boost::unordered_flat_map<std::string, uint32_t> groupByName_;
    std::vector<std::pair<Index, Index>> references_;
    // Labels, by node, for the graphs whose files give them: empty for the others.
    std::vector<std::string_view> labels_;
    Index root_ = kNone;
};

}  // namespace orvo
