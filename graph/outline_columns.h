// An outline read into plain columns instead of a Graph: per node its parent, level, group set
// and tree link, per link its ends and extra, the ids and labels in texts that may lie partly in
// a temporary file, and, once the read is done, every node's children and non-tree links as
// ranges of flat arrays. It holds what a map stores, in the order a Graph read of the same text
// would give, at a few dozen bytes a node, so that outlines too big for a Graph become maps.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/proj_transform.h"
#include "graph/group_names.h"
#include "graph/read_stats.h"
#include "memory/front_coded_texts.h"
#include "memory/spill_text.h"

namespace orvo {

/// Where a column read keeps what does not fit, and how much it may keep in memory.
struct ColumnReadLimits {
    /// The folder of the temporary files (they have no name: nothing stays behind).
    std::string spillDirectory = ".";
    /// Bytes of id and label text kept in memory before the rest goes to the files.
    uint64_t textMemoryBytes = uint64_t{1} << 62;
};

class OutlineColumns {
public:
    static constexpr uint32_t kNone = 0xffffffffu;

    explicit OutlineColumns(const ColumnReadLimits& limits);
    ~OutlineColumns();
    OutlineColumns(const OutlineColumns&) = delete;
    OutlineColumns& operator=(const OutlineColumns&) = delete;

    /// Reads the outline as Graph::reload does with these load flags; false when it held no
    /// node record, was stopped (`stop` set, looked at after each chunk) or a temporary file
    /// failed (error() says why). `report` hears the bytes read now and then. `sizeHint`, the
    /// stream's size when known, lets the columns take their room at once.
    bool read(std::istream& in, int32_t loadFlags, uint64_t sizeHint = 0,
              const std::function<void(uint64_t)>& report = {},
              const std::atomic<bool>* stop = nullptr);

    size_t nodeCount() const { return parent.size(); }
    size_t linkCount() const { return linkFrom.size(); }
    /// Node i's id; valid until the next call with the same scratch.
    std::string_view idOf(uint32_t i, std::string& scratch) const { return ids_.get(i, scratch); }
    /// Every node's id in order, cheaper than idOf for each.
    FrontCodedTexts::Cursor idsInOrder() const { return FrontCodedTexts::Cursor(ids_); }
    /// A label's text; valid until the next call with the same scratch.
    std::string_view labelText(uint64_t offset, uint32_t length, std::string& scratch) const {
        return labels_.read(offset, length, scratch);
    }
    /// Why a temporary file failed, "" when none did.
    std::string error() const;
    /// Let go of the ids' and the labels' texts (once written out): the rest stays.
    void dropIds() { ids_.clear(); }
    void dropLabels() {
        labels_.clear();
        std::vector<Label>().swap(labels);
    }
    /// Bytes of id and label text that went to the temporary files.
    uint64_t spilledBytes() const { return ids_.spilledBytes() + labels_.spilledBytes(); }

    // By node.
    std::vector<int32_t> parent;  // -1 for the root
    std::vector<int32_t> level;
    std::vector<uint32_t> groups;
    std::vector<uint32_t> treeLink;  // kNone for the root
    // By link.
    std::vector<int32_t> linkFrom, linkTo, linkExtra;

    // Set when the read is done: node v's children are children[childStart[v]] up to
    // children[childStart[v + 1]], its non-tree links out and in likewise.
    std::vector<uint32_t> childStart, children;
    std::vector<uint32_t> outStart, outLinks;
    std::vector<uint32_t> inStart, inLinks;

    /// The labels that stay, by node: the node, its text's length and offset.
    struct Label {
        uint32_t node;
        uint32_t length;
        uint64_t offset;
    };
    std::vector<Label> labels;

    GroupNames groupNames;
    ProjTransform home = ProjTransform::identity();
    ReadStats stats;
    int32_t topNodeIndex = -1;

private:
    class Reading;  // what only lives while the text is read
    void reserveFor(uint64_t bytes, Reading& r);
    void finish(Reading& r);

    FrontCodedTexts ids_;
    SpillText labels_;
};

}  // namespace orvo
