// The reader of graph files: splits the byte stream into lines, turns each line into a node,
// position or label record and hangs node records into the outline.
#include <cmath>
#include <cstring>
#include <istream>
#include <vector>

#include "graph/graph.h"
#include "graph/outline_lines.h"
#include "graph/read_state.h"
#include "graph/record_fields.h"
#include "memory/memory_room.h"
#include "memory/prefaulted_blocks.h"
#include "stream/outline_label.h"

namespace orvo {

namespace {

constexpr size_t kChunkBytes = 64 * 1024;  // read size, also the progress step
// Every so many bytes the read makes sure that the graph still fits: a read stopped with a
// message while the machine still has room beats the kernel's out-of-memory killer half way.
constexpr uint64_t kRoomCheckBytes = 16 << 20;

// What the rest of an open needs once the read is done: the layout's scratch, the first frames'
// transforms, and room for the rest of the system.
uint64_t reserveAfterRead(size_t nodes) { return (uint64_t{256} << 20) + uint64_t{64} * nodes; }

// Bytes from the stream's position to its end, or 0 when the stream cannot tell (a pipe).
uint64_t bytesLeftIn(std::istream& in) {
    std::streambuf* buffer = in.rdbuf();
    if (buffer == nullptr) return 0;
    const std::streampos here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
    if (here == std::streampos(-1)) return 0;
    const std::streampos end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
    if (buffer->pubseekpos(here, std::ios::in) != here) {
        in.setstate(std::ios::badbit);  // cannot happen on a seekable buffer; never read on
        return 0;
    }
    return end > here ? static_cast<uint64_t>(end - here) : 0;
}

}  // namespace

void Graph::reserveForBytes(uint64_t bytes) {
    // A file's size tells roughly how many records it holds. Room made up front for them spares
    // the big arrays their copies and page faults while they grow; the arrays' room that stays
    // unused is never touched, so it costs address space, not memory. The index table is touched
    // wherever it is, so it is sized for records of a usual length and grows from there if they
    // are shorter.
    constexpr uint64_t kShortRecordBytes = 16, kUsualRecordBytes = 96;
    try {
        const size_t records = nodes.size() + static_cast<size_t>(bytes / kShortRecordBytes);
        nodes.reserve(records);
        links.reserve(records);
        read_->slotInParent.reserve(records);
        read_->hasHoles.reserve(records);
        nodeIndexById_.reserve(nodes.size() + static_cast<size_t>(bytes / kUsualRecordBytes));
    } catch (const std::bad_alloc&) {
        // Only a hint: the arrays grow as they go.
    } catch (const std::length_error&) {
    }
}

void Graph::parseStream(std::istream& in, const ReadReport& report) {
    const PrefaultedBlocks prefaulted;  // a big read takes its node, link and id blocks ready
    read_ = std::make_unique<ReadState>();
    // reload() calls this on an emptied graph; should nodes exist already, the lookups start
    // out knowing them.
    read_->slotInParent.assign(nodes.size(), -1);
    read_->hasHoles.assign(nodes.size(), 0);
    for (const Node* n : nodes) {
        for (size_t j = 0; j < n->children.size(); ++j) {
            read_->slotInParent[n->children[j]->index] = static_cast<int32_t>(j);
        }
        for (const Link* l : n->outLinks) read_->outLinkPairs.insert(n->index, l->toNode->index);
    }
    if (const uint64_t bytes = bytesLeftIn(in)) reserveForBytes(bytes);
    OutlinePosition<Node*> outline(nullptr);
    std::vector<GroupNameId> groupIds;
    std::vector<std::string_view> groupFields;
    const bool withExtra = settings.loadFlags & ExtraField;

    // Lines are taken in batches: a first pass finds each line's level and id and hashes the id,
    // and passes over the batch then bring the id's index slot, its node and its bytes into the
    // cache, each pass over loads that were started by the one before. The records themselves
    // are applied in file order afterwards, exactly as one at a time.
    struct ScannedLine {
        RecordFields fields;  // past the id
        int32_t level;
        std::string_view id;  // empty: a line of blanks, or a level alone
        uint32_t idHash;
        bool blank;  // no record and not a skipped one
    };
    ReadStats stats;
    constexpr size_t kBatchLines = 64;
    std::vector<ScannedLine> batch;
    batch.reserve(kBatchLines);

    auto scan = [&](std::string_view line) {
        // A zero byte ends the line's content (none can be there before a chunk held one).
        if (stats.holdsNul) {
            if (const void* zero = std::memchr(line.data(), '\0', line.size())) {
                line = line.substr(0, static_cast<const char*>(zero) - line.data());
            }
        }
        ScannedLine& s = batch.emplace_back(ScannedLine{RecordFields(line), 0, {}, 0, true});
        if (line.size() <= 1) return;  // empty lines are no records, nor skipped ones
        s.blank = false;
        s.level = readInt(s.fields.next());
        s.id = s.fields.next();
        if (s.id.empty() || s.level < -98) return;
        s.idHash = NodeIndex::hashOf(s.id);
        nodeIndexById_.prefetchSlot(s.idHash);
    };

    // "-99 label ID TEXT": the label of a node read before; false when it names none.
    std::string decodedLabel;
    auto applyLabel = [&](RecordFields& fields) -> bool {
        const std::string_view id = fields.next();
        const std::string_view text = fields.next();
        if (id.empty() || text.empty()) return false;
        const int32_t at = nodeIndexById_.find(id, NodeIndex::hashOf(id), nodes);
        if (at < 0) return false;
        decodedLabel = decodeLabelText(text);
        labels_.set(at, decodedLabel, nodes.size());
        return true;
    };

    // Applies one scanned line; false when the line was skipped.
    auto apply = [&](ScannedLine& s) -> bool {
        if (s.blank) return true;
        if (s.id.empty()) return false;
        RecordFields& fields = s.fields;
        if (s.level < -98) {
            if (s.id == "label") return applyLabel(fields);
            if (s.id == "groups") {
                int32_t kind = 0;
                std::string name;
                if (!readGroupKindRecord(fields, kind, name)) return false;
                groupKindNames_[size_t(kind)] = std::move(name);
                return true;
            }
            return s.id == "position" && readPositionRecord(fields, homeTransform_);
        }

        int32_t extra = 0;
        if (!readNodeRecordTail(fields, withExtra, extra, groupFields)) return false;
        groupIds.clear();
        for (const std::string_view name : groupFields) groupIds.push_back(groupNames_.intern(name));

        outline.place(s.level);
        const RecordResult result = applyRecord(outline.parent, s.id, s.idHash, s.level, extra);
        outline.lastNode = result.node;
        if (result.created) {
            result.node->groups = groupNames_.internSet(groupIds);
            if (outline.parent == nullptr) {
                outline.parent = result.node;
                topNodeIndex_ = 0;
            }
        }
        return true;
    };

    auto applyBatch = [&] {
        for (const ScannedLine& s : batch)
            if (!s.id.empty()) nodeIndexById_.prefetchEntry(s.idHash, nodes);
        for (const ScannedLine& s : batch)
            if (!s.id.empty()) nodeIndexById_.prefetchNode(s.idHash, nodes);
        for (const ScannedLine& s : batch)
            if (!s.id.empty()) nodeIndexById_.prefetchNodeId(s.idHash, nodes);
        for (const ScannedLine& s : batch)
            if (!s.id.empty()) nodeIndexById_.prefetchParentId(s.idHash, nodes);
        for (ScannedLine& s : batch)
            if (!apply(s)) ++stats.skippedLines;
        batch.clear();
    };
    // A line that points into the chunk waits in the batch; one assembled across chunks is valid
    // only during the call, so the batch is applied first and the line at once.
    auto handleLine = [&](std::string_view line, bool validUntilFeedReturns) {
        if (line.size() > 1) ++stats.lines;
        if (!validUntilFeedReturns) applyBatch();
        scan(line);
        if (!validUntilFeedReturns || batch.size() == kBatchLines) applyBatch();
    };

    LineSplitter splitter;
    std::vector<char> chunk(kChunkBytes);
    uint64_t consumed = 0;
    uint64_t nextRoomCheck = kRoomCheckBytes;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        if (!stats.holdsNul && std::memchr(chunk.data(), '\0', got) != nullptr)
            stats.holdsNul = true;
        splitter.feed(chunk.data(), got, handleLine);
        applyBatch();  // the chunk is overwritten next
        consumed += got;
        if (report) report(consumed);
        if (consumed >= nextRoomCheck) {
            nextRoomCheck = consumed + kRoomCheckBytes;
            const uint64_t room = memoryRoomBytes();
            if (room < reserveAfterRead(nodes.size())) {
                stats.outOfMemory = true;
                stats.bytesReadBeforeStop = consumed;
                stats.memoryLeftAtStop = room;
                read_.reset();
                clearContents();  // nothing half read stays
                readStats = stats;
                return;
            }
        }
    }
    splitter.finish(handleLine);
    applyBatch();
    stats.lines += splitter.longLines();
    stats.skippedLines += splitter.longLines();
    readStats = stats;
    finishRead();
}

}  // namespace orvo
