// The pieces of reading outline text that every reader of it shares: complete lines out of a
// chunked byte stream, the outline position of each record, and the fields of node and position
// records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/proj_transform.h"
#include "graph/record_fields.h"
#include "stream/outline_format.h"

namespace orvo {

/// Feeds complete lines of a chunked byte stream to a handler. Lines longer than the limit are
/// dropped whole; a line split across two chunks is assembled in a small buffer. The handler learns
/// whether the view stays valid until feed() returns (it points into the chunk) or only for the
/// call (it points into that buffer).
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

/// The outline position of the next record, over any kind of node handle (`none` for no node).
template <typename N>
struct OutlinePosition {
    explicit OutlinePosition(N none) : parent(none), lastNode(none), none_(none) {}
    N parent;
    int64_t parentLevel = -999;  // 64 bits: level + 1 must not overflow
    N lastNode;
    std::vector<N> ancestors;  // the most recent at the back

    /// Hangs a record of level v into the outline: a deeper record goes one level down under
    /// the previous node, a shallower one returns to the ancestors it names.
    void place(int64_t v) {
        if (v > parentLevel + 1) {
            if (parentLevel < -98) {
                parentLevel = v;
            } else if (parent != none_) {
                ancestors.push_back(parent);
                parentLevel += 1;
                parent = lastNode;
            }
        } else if (v <= parentLevel) {
            int64_t pops = parentLevel - v + 1;
            parentLevel = v - 1;
            for (; pops > 0 && !ancestors.empty(); --pops) {
                parent = ancestors.back();
                ancestors.pop_back();
            }
        }
    }

private:
    N none_;
};

/// The rest of a node record after its level and id: the extra field (with `withExtra`), the
/// required placeholder, then the group names into `groups`. False when the record is to be
/// skipped.
inline bool readNodeRecordTail(RecordFields& fields, bool withExtra, int32_t& extra,
                               std::vector<std::string_view>& groups) {
    extra = 0;
    if (withExtra) {
        const std::string_view field = fields.next();
        if (field.empty()) return false;
        extra = readInt(field);
    }
    if (fields.next().empty()) return false;  // the placeholder field is required
    groups.clear();
    // A field that would start on the line's last byte is not a group.
    while (fields.nextStart() + 1 < fields.lineLength()) groups.push_back(fields.next());
    return true;
}

/// "-99 position" followed by 16 finite numbers; false when they are not there.
bool readPositionRecord(RecordFields& fields, ProjTransform& home);

/// "-99 groups KIND NAME": the kind's name decoded; false for a kind out of range or no name.
bool readGroupKindRecord(RecordFields& fields, int32_t& kind, std::string& name);

}  // namespace orvo
