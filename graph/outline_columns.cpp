// The column read: the same records applied with the same rules as the Graph reader (records.cpp,
// parent_choice.cpp), with node numbers for pointers. The order a Graph gives its children and
// non-tree link lists is rebuilt afterwards from when each was attached or filed: a child goes
// to the end of its parent's list when it is made or moved there, a non-tree link to the end of
// its ends' lists when it is made or when its tree link is left by a move; what was removed from
// a list meanwhile keeps only its last entry, if any.
#include "graph/outline_columns.h"

#include <algorithm>
#include <boost/unordered/unordered_flat_map.hpp>
#include <cstring>
#include <limits>

#include "graph/graph.h"
#include "graph/move_choice.h"
#include "graph/node_index.h"
#include "graph/outline_lines.h"
#include "graph/record_fields.h"
#include "stream/outline_label.h"

namespace orvo {

namespace {

constexpr size_t kChunkBytes = size_t{1} << 20;

// Id -> node number by open addressing (linear probing, at most 7/10 full): a slot holds the id's
// hash above and number + 1 below, so that most mismatches are told apart without the id's text,
// and growing needs no text at all. A hash picks its first slot by scaling, not by masking, so
// that the table can take any size: at a hundred million ids a power of two would cost up to
// twice the memory.
class IdTable {
public:
    void reserve(size_t count) {
        const size_t slots = slotsFor(count);
        if (slots > slots_.size()) rehash(slots);
    }
    template <typename Matches>
    int64_t find(uint32_t hash, Matches matches) const {
        if (slots_.empty()) return -1;
        for (size_t i = firstSlot(hash);; i = i + 1 == slots_.size() ? 0 : i + 1) {
            const uint64_t slot = slots_[i];
            if (slot == 0) return -1;
            if (static_cast<uint32_t>(slot >> 32) != hash) continue;
            const auto node = static_cast<uint32_t>(slot) - 1;
            if (matches(node)) return node;
        }
    }
    void insert(uint32_t hash, uint32_t node) {
        if (slotsFor(count_ + 1) > slots_.size())
            rehash(std::max(slotsFor(count_ + 1), slots_.size() + slots_.size() / 2));
        place((uint64_t{hash} << 32) | (uint64_t{node} + 1));
        ++count_;
    }

private:
    static size_t slotsFor(size_t count) { return 64 + count + count * 3 / 7; }
    size_t firstSlot(uint32_t hash) const {
        return static_cast<size_t>((uint64_t{hash} * slots_.size()) >> 32);
    }
    void place(uint64_t entry) {
        size_t i = firstSlot(static_cast<uint32_t>(entry >> 32));
        while (slots_[i] != 0) i = i + 1 == slots_.size() ? 0 : i + 1;
        slots_[i] = entry;
    }
    void rehash(size_t slots) {
        std::vector<uint64_t> old(slots, 0);
        old.swap(slots_);
        for (const uint64_t entry : old)
            if (entry != 0) place(entry);
    }
    std::vector<uint64_t> slots_;
    size_t count_ = 0;

public:
    void swap(IdTable& other) noexcept {
        slots_.swap(other.slots_);
        std::swap(count_, other.count_);
    }
};

uint64_t pairKey(uint32_t from, uint32_t to) { return (uint64_t{from} << 32) | to; }

// A node attached to a parent by a move, or a link filed in its ends' lists after it was made,
// stamped with how many nodes (or links) existed then: what was made later comes after it.
struct Stamped {
    uint32_t item;
    uint32_t madeBefore;
};

// The items [0, count) in the order of their last attachment: an item that was never re-attached
// at its making (when `atMaking` says it was attached then), a re-attached one at its last entry
// of `log`. emit(item) hears each; `keep(item)` decides whether its last attachment still holds.
template <typename AtMaking, typename Keep, typename Emit>
void inAttachOrder(size_t count, const std::vector<Stamped>& log, AtMaking atMaking, Keep keep,
                   Emit emit) {
    // Which log entries are their item's last.
    std::vector<bool> seen(count, false), last(log.size(), false);
    for (size_t e = log.size(); e-- > 0;) {
        if (seen[log[e].item]) continue;
        seen[log[e].item] = true;
        last[e] = true;
    }
    size_t e = 0;
    for (size_t item = 0; item < count; ++item) {
        for (; e < log.size() && log[e].madeBefore <= item; ++e)
            if (last[e] && keep(log[e].item)) emit(log[e].item);
        if (!seen[item] && atMaking(item) && keep(static_cast<uint32_t>(item)))
            emit(static_cast<uint32_t>(item));
    }
    for (; e < log.size(); ++e)
        if (last[e] && keep(log[e].item)) emit(log[e].item);
}

// Flat lists by key: the items of key k at list[start[k]] .. list[start[k + 1]], in their order.
// The items are placed from the last, each at the end of its key's part, so that the counts
// become the starts with no second array of them.
void groupByKey(size_t keys, const std::vector<uint32_t>& items, const std::vector<int32_t>& keyOf,
                std::vector<uint32_t>& start, std::vector<uint32_t>& list) {
    start.assign(keys + 1, 0);
    for (const uint32_t item : items) ++start[static_cast<size_t>(keyOf[item])];
    for (size_t k = 1; k <= keys; ++k) start[k] += start[k - 1];
    list.resize(items.size());
    for (size_t i = items.size(); i-- > 0;)
        list[--start[static_cast<size_t>(keyOf[items[i]])]] = items[i];
}

}  // namespace

class OutlineColumns::Reading {
public:
    explicit Reading(OutlineColumns& c, int32_t loadFlags) : c_(c), flags_(loadFlags) {}

    void line(std::string_view text) {
        if (text.size() > 1) ++c_.stats.lines;
        if (!apply(text)) ++c_.stats.skippedLines;
    }

    // What preferNewParentIn asks of the nodes.
    uint32_t none() const { return kNone; }
    uint32_t parent(uint32_t n) const { return static_cast<uint32_t>(c_.parent[n]); }
    int32_t level(uint32_t n) const { return c_.level[n]; }
    std::string_view id(uint32_t n) const {
        // Two ids are asked for at once (the old and the new parent's): one scratch for each.
        std::string& scratch = scratch_[nextScratch_++ % 2];
        return c_.idOf(n, scratch);
    }
    bool treeLinkExtra(uint32_t n, int32_t& extra) const {
        if (c_.treeLink[n] == kNone) return false;
        extra = c_.linkExtra[c_.treeLink[n]];
        return true;
    }
    bool hasChildren(uint32_t n) const { return childCount_[n] != 0; }

    std::vector<Stamped> moves;      // nodes attached by a move
    std::vector<Stamped> refilings;  // links filed when a move left them
    std::vector<bool> filedAtMaking;  // by link: made as a non-tree link
    struct LabelEntry {
        uint32_t node;
        uint32_t length;  // 0: the label taken away
        uint64_t offset;
    };
    std::vector<LabelEntry> labelEntries;

    /// The lookups that only records need, freed before the lists are built.
    void dropLookups() {
        IdTable().swap(table_);
        decltype(pairs_)().swap(pairs_);
        std::vector<uint32_t>().swap(childCount_);
    }

private:
    int64_t findId(std::string_view id, uint32_t hash) const {
        return table_.find(hash, [&](uint32_t n) { return c_.idOf(n, idScratch_) == id; });
    }

    bool apply(std::string_view text) {
        if (const void* zero = std::memchr(text.data(), '\0', text.size()))
            text = text.substr(0, static_cast<const char*>(zero) - text.data());
        if (text.size() <= 1) return true;  // empty lines are no records, nor skipped ones
        RecordFields fields(text);
        const int32_t lineLevel = readInt(fields.next());
        const std::string_view id = fields.next();
        if (id.empty()) return false;
        if (lineLevel < -98) {
            if (id == "label") return applyLabel(fields);
            if (id == "groups") {
                int32_t kind = 0;
                std::string name;
                return readGroupKindRecord(fields, kind, name);
            }
            return id == "position" && readPositionRecord(fields, c_.home);
        }
        int32_t extra = 0;
        if (!readNodeRecordTail(fields, flags_ & ExtraField, extra, groupFields_)) return false;
        groupIds_.clear();
        for (const std::string_view name : groupFields_)
            groupIds_.push_back(c_.groupNames.intern(name));
        outline_.place(lineLevel);
        applyNode(outline_.parent, id, NodeIndex::hashOf(id), lineLevel, extra);
        return true;
    }

    bool applyLabel(RecordFields& fields) {
        const std::string_view id = fields.next();
        const std::string_view text = fields.next();
        if (id.empty() || text.empty()) return false;
        const int64_t at = findId(id, NodeIndex::hashOf(id));
        if (at < 0) return false;
        const std::string decoded = decodeLabelText(text);
        // A label is one line: a text holding a line feed is taken for none.
        if (decoded.empty() || decoded.find('\n') != std::string::npos) {
            labelEntries.push_back({static_cast<uint32_t>(at), 0, 0});
        } else {
            labelEntries.push_back(
                {static_cast<uint32_t>(at), static_cast<uint32_t>(decoded.size()), c_.labels_.size()});
            c_.labels_.append(decoded);
        }
        return true;
    }

    uint32_t newLink(uint32_t from, uint32_t to, int32_t extra) {
        const auto l = static_cast<uint32_t>(c_.linkFrom.size());
        c_.linkFrom.push_back(static_cast<int32_t>(from));
        c_.linkTo.push_back(static_cast<int32_t>(to));
        c_.linkExtra.push_back(extra);
        filedAtMaking.push_back(false);
        return l;
    }

    void applyNode(uint32_t parent, std::string_view id, uint32_t hash, int32_t lineLevel,
                   int32_t extra) {
        const int64_t existing = parent != kNone ? findId(id, hash) : -1;
        if (existing < 0) {
            const auto x = static_cast<uint32_t>(c_.parent.size());
            c_.parent.push_back(parent == kNone ? -1 : static_cast<int32_t>(parent));
            c_.level.push_back(lineLevel);
            c_.groups.push_back(c_.groupNames.internSet(groupIds_));
            c_.treeLink.push_back(kNone);
            c_.ids_.append(id);
            childCount_.push_back(0);
            table_.insert(hash, x);
            if (parent != kNone) {
                c_.treeLink[x] = newLink(parent, x, extra);
                ++childCount_[parent];
            }
            outline_.lastNode = x;
            if (outline_.parent == kNone) {
                outline_.parent = x;
                c_.topNodeIndex = 0;
            }
            return;
        }
        const auto x = static_cast<uint32_t>(existing);
        outline_.lastNode = x;
        const uint32_t oldParent = this->parent(x);
        if (x == parent || oldParent == parent) return;
        if (preferNewParentIn(*this, flags_, parent, oldParent, [x] { return x; }, id, extra) == 1) {
            move(x, parent, extra);
        } else if (!pairs_.contains(pairKey(parent, x))) {
            // The tree link is the one link from the parent (x's parent is not `parent`).
            const uint32_t l = newLink(parent, x, extra);
            filedAtMaking[l] = true;
            pairs_.emplace(pairKey(parent, x), l);
        }
    }

    void move(uint32_t x, uint32_t newParent, int32_t extra) {
        const uint32_t old = this->parent(x);
        const uint32_t oldLink = c_.treeLink[x];
        // The old tree link stays as a non-tree link, filed now.
        refilings.push_back({oldLink, static_cast<uint32_t>(c_.linkFrom.size())});
        pairs_[pairKey(old, x)] = oldLink;
        --childCount_[old];
        // A non-tree link the new parent already has to the node becomes the tree link, so that
        // the pair is never linked twice.
        uint32_t l;
        if (const auto at = pairs_.find(pairKey(newParent, x)); at != pairs_.end()) {
            l = at->second;
            c_.linkExtra[l] = extra;
        } else {
            l = newLink(newParent, x, extra);
        }
        moves.push_back({x, static_cast<uint32_t>(c_.parent.size())});
        c_.treeLink[x] = l;
        c_.parent[x] = static_cast<int32_t>(newParent);
        ++childCount_[newParent];
        const int32_t above = c_.level[newParent];
        c_.level[x] = above == std::numeric_limits<int32_t>::max() ? above : above + 1;
    }

    OutlineColumns& c_;
    const int32_t flags_;
    OutlinePosition<uint32_t> outline_{kNone};
    IdTable table_;
    boost::unordered_flat_map<uint64_t, uint32_t> pairs_;  // (from, to) of every filed link
    std::vector<uint32_t> childCount_;
    std::vector<std::string_view> groupFields_;
    std::vector<GroupNameId> groupIds_;
    mutable std::string idScratch_;
    mutable std::string scratch_[2];
    mutable unsigned nextScratch_ = 0;

    friend class OutlineColumns;
};

OutlineColumns::OutlineColumns(const ColumnReadLimits& limits)
    : ids_(limits.spillDirectory, limits.textMemoryBytes),
      labels_(limits.spillDirectory, limits.textMemoryBytes / 8) {}

OutlineColumns::~OutlineColumns() = default;

std::string OutlineColumns::error() const {
    return !ids_.error().empty() ? ids_.error() : labels_.error();
}

void OutlineColumns::reserveFor(uint64_t bytes, Reading& r) {
    // Room for a record of every 16 bytes costs address space, not memory: pages never written
    // are never given. The id table is written wherever it is, so it is sized for records of a
    // usual length and grows from there.
    constexpr uint64_t kShortRecordBytes = 16, kUsualRecordBytes = 96;
    const auto records = static_cast<size_t>(bytes / kShortRecordBytes);
    try {
        for (auto* column : {&parent, &level, &linkFrom, &linkTo, &linkExtra})
            column->reserve(records);
        for (auto* column : {&groups, &treeLink, &r.childCount_}) column->reserve(records);
        r.table_.reserve(static_cast<size_t>(bytes / kUsualRecordBytes));
    } catch (const std::bad_alloc&) {
        // Only a hint: the columns grow as they go.
    } catch (const std::length_error&) {
    }
}

bool OutlineColumns::read(std::istream& in, int32_t loadFlags, uint64_t sizeHint,
                          const std::function<void(uint64_t)>& report,
                          const std::atomic<bool>* stop) {
    Reading r(*this, loadFlags);
    if (sizeHint != 0) reserveFor(sizeHint, r);
    LineSplitter splitter;
    std::vector<char> chunk(kChunkBytes);
    uint64_t consumed = 0;
    const auto handle = [&r](std::string_view line, bool) { r.line(line); };
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        if (!stats.holdsNul && std::memchr(chunk.data(), '\0', got) != nullptr)
            stats.holdsNul = true;
        splitter.feed(chunk.data(), got, handle);
        consumed += got;
        if (report) report(consumed);
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) return false;
        if (!error().empty()) return false;
    }
    splitter.finish(handle);
    stats.lines += splitter.longLines();
    stats.skippedLines += splitter.longLines();
    if (parent.empty() || !error().empty()) return false;
    r.dropLookups();
    finish(r);
    return error().empty();
}

void OutlineColumns::finish(Reading& r) {
    const size_t n = nodeCount(), links = linkCount();
    {
        std::vector<uint32_t> attached;
        attached.reserve(n);
        inAttachOrder(
            n, r.moves, [&](size_t x) { return parent[x] >= 0; }, [](uint32_t) { return true; },
            [&](uint32_t x) { attached.push_back(x); });
        groupByKey(n, attached, parent, childStart, children);
    }
    {
        std::vector<uint32_t> filed;
        inAttachOrder(
            links, r.refilings, [&](size_t l) { return bool(r.filedAtMaking[l]); },
            [&](uint32_t l) { return treeLink[static_cast<size_t>(linkTo[l])] != l; },
            [&](uint32_t l) { filed.push_back(l); });
        groupByKey(n, filed, linkFrom, outStart, outLinks);
        groupByKey(n, filed, linkTo, inStart, inLinks);
    }
    // Each node's last label, when it was not taken away, by node: the entries from the last,
    // a bit a node telling which were seen.
    std::vector<bool> labelled(r.labelEntries.empty() ? 0 : n, false);
    for (size_t e = r.labelEntries.size(); e-- > 0;) {
        const Reading::LabelEntry& entry = r.labelEntries[e];
        if (labelled[entry.node]) continue;
        labelled[entry.node] = true;
        if (entry.length != 0) labels.push_back({entry.node, entry.length, entry.offset});
    }
    std::sort(labels.begin(), labels.end(),
              [](const Label& a, const Label& b) { return a.node < b.node; });
}

}  // namespace orvo
