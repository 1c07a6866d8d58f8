// The reader of graph files: splits the byte stream into lines, turns each line into a node,
// position or label record and hangs node records into the outline.
#include <cmath>
#include <cstring>
#include <istream>
#include <vector>

#include "graph/graph.h"
#include "graph/read_state.h"
#include "graph/record_fields.h"
#include "memory/memory_room.h"
#include "memory/prefaulted_blocks.h"
#include "stream/outline_format.h"
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

// The outline position of the next record.
struct OutlineState {
    Node* parent = nullptr;
    int64_t parentLevel = -999;  // 64 bits: level + 1 must not overflow
    Node* lastNode = nullptr;
    std::vector<Node*> ancestors;  // the most recent at the back
};

// Feeds complete lines of a chunked byte stream to a handler. Lines longer than the limit are
// dropped whole; a line split across two chunks is assembled in a small buffer. The handler learns
// whether the view stays valid until feed() returns (it points into the chunk) or only for the
// call (it points into that buffer).
class LineSplitter {
public:
    template <typename Handler>
    void feed(const char* data, size_t size, Handler&& handle) {
        while (size > 0) {
            const char* newline = static_cast<const char*>(std::memchr(data, '\n', size));
            const size_t piece = newline ? static_cast<size_t>(newline - data) : size;
            if (!tooLong_ && pending_.empty() && newline && piece <= kOutlineLineLimit) {
                handle(std::string_view(data, piece), true);  // the usual case: no copy
            } else {
                append(data, piece);
                if (newline) flush(handle);
            }
            if (!newline) return;
            data += piece + 1;
            size -= piece + 1;
        }
    }

    /// Lines dropped for their length.
    uint64_t longLines() const { return longLines_; }

    /// The last line, when the stream did not end with a line feed.
    template <typename Handler>
    void finish(Handler&& handle) {
        if (!pending_.empty() || tooLong_) flush(handle);
    }

private:
    void append(const char* data, size_t size) {
        if (tooLong_) return;
        if (pending_.size() + size > kOutlineLineLimit) {
            tooLong_ = true;
            pending_.clear();
            return;
        }
        pending_.append(data, size);
    }

    template <typename Handler>
    void flush(Handler&& handle) {
        if (tooLong_) {
            ++longLines_;
        } else {
            handle(std::string_view(pending_), false);
        }
        pending_.clear();
        tooLong_ = false;
    }

    std::string pending_;
    bool tooLong_ = false;
    uint64_t longLines_ = 0;
};

// Hangs a record of level v into the outline: a deeper record goes one level down under the
// previous node, a shallower one returns to the ancestors it names.
void placeInOutline(OutlineState& state, int64_t v) {
    if (v > state.parentLevel + 1) {
        if (state.parentLevel < -98) {
            state.parentLevel = v;
        } else if (state.parent != nullptr) {
            state.ancestors.push_back(state.parent);
            state.parentLevel += 1;
            state.parent = state.lastNode;
        }
    } else if (v <= state.parentLevel) {
        int64_t pops = state.parentLevel - v + 1;
        state.parentLevel = v - 1;
        for (; pops > 0 && !state.ancestors.empty(); --pops) {
            state.parent = state.ancestors.back();
            state.ancestors.pop_back();
        }
    }
}

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
    OutlineState outline;
    std::vector<GroupNameId> groupIds;
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

    // "-99 groups KIND NAME": what the groups of that kind are (the attribute an import took
    // them from), for the legend's title; false for a kind out of range or no name.
    auto applyGroupKindName = [&](RecordFields& fields) -> bool {
        const std::string_view kindField = fields.next();
        const std::string_view name = fields.next();
        if (kindField.empty() || name.empty()) return false;
        const int32_t kind = readInt(kindField);
        if (kind < 0 || kind >= kGroupKinds ||
            kindField.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        groupKindNames_[size_t(kind)] = decodeLabelText(name);
        return true;
    };

    // Applies one scanned line; false when the line was skipped.
    auto apply = [&](ScannedLine& s) -> bool {
        if (s.blank) return true;
        if (s.id.empty()) return false;
        RecordFields& fields = s.fields;
        if (s.level < -98) {
            if (s.id == "label") return applyLabel(fields);
            if (s.id == "groups") return applyGroupKindName(fields);
            if (s.id != "position") return false;
            ProjTransform home;
            for (double& element : home.m) {
                const std::string_view field = fields.next();
                if (field.empty()) return false;  // fewer than 16 numbers
                element = readReal(field);
                if (!std::isfinite(element)) return false;
            }
            homeTransform_ = home;
            return true;
        }

        int32_t extra = 0;
        if (withExtra) {
            const std::string_view field = fields.next();
            if (field.empty()) return false;
            extra = readInt(field);
        }
        if (fields.next().empty()) return false;  // the placeholder field is required

        groupIds.clear();
        // A field that would start on the line's last byte is not a group.
        while (fields.nextStart() + 1 < fields.lineLength()) {
            groupIds.push_back(groupNames_.intern(fields.next()));
        }

        placeInOutline(outline, s.level);
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
