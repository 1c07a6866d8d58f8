// What the map's readers share: the section spans, the header and table checked with every
// section's checksum, the meta section and the group names, each refused with its reason.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/proj_transform.h"
#include "graph/read_stats.h"
#include "mapfile/map_format.h"

namespace orvo {
class Graph;
class MappedFile;
}

namespace orvo::map_detail {

// sinh of a larger radius is no longer a finite double.
constexpr double kMaxRadius = 700.0;

struct Span {
    const unsigned char* data = nullptr;
    uint64_t size = 0;
};

using SectionSpans = std::array<Span, kMapSectionKinds + 1>;

struct Meta {
    uint64_t nodes = 0, links = 0;
    int32_t top = -1;
    uint32_t start = 0;
    double childSpacing = 0.0;
    int32_t loadFlags = 0;
    ProjTransform home = ProjTransform::identity();
    ReadStats stats;
};

// Reads numbers one after another from a section, never past its end.
class Cursor {
public:
    explicit Cursor(Span span) : span_(span) {}
    template <typename T>
    bool next(T& value) {
        if (span_.size - at_ < sizeof(T)) return false;
        value = loadLittle<T>(span_.data + at_);
        at_ += sizeof(T);
        return true;
    }
    bool text(uint32_t length, std::string_view& out) {
        if (span_.size - at_ < length) return false;
        out = {reinterpret_cast<const char*>(span_.data + at_), length};
        at_ += length;
        return true;
    }
    bool atEnd() const { return at_ == span_.size; }

private:
    Span span_;
    uint64_t at_ = 0;
};

std::string number(uint64_t value);
/// What an outline field can hold: not empty, no space, line feed or zero byte, no tab first.
bool isFieldText(std::string_view text);
/// What a label can hold: text that can be shown, without control bytes.
bool isLabelText(std::string_view text);
/// Which of a node's measures no graph of `nodes` nodes and `links` links could give it
/// ("depth", "links in", "links out", "subtree size", "link score"), nullptr when none.
const char* measureOutOfBounds(int32_t depth, int32_t linksIn, int32_t linksOut, int32_t subtree,
                               double score, uint64_t nodes, uint64_t links);
/// "its <section> section is damaged (<what>)".
std::string damaged(MapSection kind, const std::string& what);
/// The header and the section table, every known section's bounds and checksum; the spans of
/// the known sections. `releaseChecked`: the bytes are a mapped file whose sections are given
/// back to the system once checked (see releasePages).
/// A section whose checksum is yet to be checked.
struct SectionCheck {
    MapSection kind;
    Span span;
    uint64_t checksum = 0;
};
/// Sections larger than this are left to checkSections when the reader defers them.
inline constexpr uint64_t kDeferredCheckBytes = uint64_t{1} << 20;
/// `deferred`, when given, gets the sections larger than kDeferredCheckBytes unchecked, for
/// the caller to check later with checkSections (a reader of parts of a map shows them first).
std::string readContainer(const unsigned char* data, size_t size, SectionSpans& spans,
                          bool releaseChecked = false,
                          std::vector<SectionCheck>* deferred = nullptr);
/// Checks the checksums of sections of the mapped `file`, copying them a piece at a time into a
/// small buffer rather than touching their mapped pages (which would count as the process's
/// memory however soon they were given back); "" when they match, or when `stop` turned true
/// first.
std::string checkSections(const MappedFile& file, const std::vector<SectionCheck>& checks,
                          const std::atomic<bool>* stop = nullptr);
/// Checks at once the checksum of a deferred section of this kind (one a reader needs whole now),
/// and takes it off the list; "" when it matches or is not on the list.
std::string checkDeferredNow(std::vector<SectionCheck>& deferred, MapSection kind);
/// Gives back the memory of a mapped file's section that has been read for now. The pages are
/// the file's and were never written, so the system can drop them and read them again if they
/// are touched. Whole pages only, so the neighbouring sections' bytes stay.
void releasePages(Span span);
/// Interns the map's group names and sets into the graph, in their stored order.
std::string readGroups(const SectionSpans& spans, Graph& graph);
/// The meta section, its counts and nodes held to what a map can have.
std::string readMeta(Span span, Meta& meta);
inline Span section(const SectionSpans& spans, MapSection kind) {
    return spans[static_cast<uint32_t>(kind)];
}

}  // namespace orvo::map_detail
