// The parts of a map that every reader takes the same way: the header, the section table with
// each section's bounds and checksum, the meta section and the group names.
#include "mapfile/map_sections.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "graph/graph.h"
#include "mapfile/map_reader.h"
#include "memory/mapped_file.h"

namespace orvo::map_detail {

namespace {

constexpr uint32_t kMaxSections = 4096;
// A fuzzing build takes altered bytes past the checksums, to the checks behind them.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kChecksums = false;
#else
constexpr bool kChecksums = true;
#endif

constexpr std::array<const char*, kMapSectionKinds + 1> kSectionNames = {
    "",          "meta",     "nodes",       "id offsets", "id text", "children",   "links",
    "out-links", "in-links", "group names", "group sets", "labels",  "label text", "measures",
    "node starts", "group set counts", "name index", "first reads"};


}  // namespace

std::string number(uint64_t value) { return std::to_string(value); }

// What an outline field can hold: not empty, no space, line feed or zero byte, no tab first.
bool isFieldText(std::string_view text) {
    if (text.empty() || text.front() == '\t') return false;
    for (const char c : text)
        if (c == ' ' || c == '\n' || c == '\0') return false;
    return true;
}

// What a label can hold: text that can be shown, without control bytes.
bool isLabelText(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return !text.empty();
}

const char* measureOutOfBounds(int32_t depth, int32_t linksIn, int32_t linksOut, int32_t subtree,
                               double score, uint64_t nodes, uint64_t links) {
    const auto n = static_cast<int64_t>(nodes), l = static_cast<int64_t>(links);
    return depth < -1 || depth >= n          ? "depth"
           : linksIn < 0 || linksIn > l      ? "links in"
           : linksOut < 0 || linksOut > l    ? "links out"
           : subtree < 1 || subtree > n      ? "subtree size"
           : !(score >= 0.0 && score <= 1.0) ? "link score"
                                             : nullptr;
}

std::string damaged(MapSection kind, const std::string& what) {
    return std::string("its ") + kSectionNames[static_cast<uint32_t>(kind)] +
           " section is damaged (" + what + ")";
}

// The header and the section table; the spans of the known sections.
std::string readContainer(const unsigned char* data, size_t size, SectionSpans& spans,
                          bool releaseChecked, std::vector<SectionCheck>* deferred) {
    if (!startsLikeMap(data, size)) return "it is not a map (it does not start as one does)";
    if (size < kMapHeaderBytes)
        return "it is cut short: " + number(size) + " bytes, less than a map's header";
    const auto version = loadLittle<uint32_t>(data + kHeaderVersionAt);
    if (version > kMapVersion)
        return "it is a map of format version " + number(version) +
               ", newer than this program reads (" + number(kMapVersion) + ")";
    if (version < kMapVersion)
        return "it is a map of format version " + number(version) +
               ", older than this program reads (" + number(kMapVersion) + ")";
    if ((loadLittle<uint64_t>(data + kHeaderSumAt) != XXH3_64bits(data, kHeaderSumAt) &&
         kChecksums) ||
        loadLittle<uint32_t>(data + kHeaderSizeAt) != kMapHeaderBytes)
        return "its header is damaged";
    const auto fileBytes = loadLittle<uint64_t>(data + kHeaderFileBytesAt);
    if (fileBytes > size)
        return "it is cut short: " + number(size) + " of its " + number(fileBytes) + " bytes";
    if (fileBytes < size)
        return "it has " + number(size - fileBytes) + " bytes more than its header says";
    const auto tableAt = loadLittle<uint64_t>(data + kHeaderTableAt);
    const auto count = loadLittle<uint32_t>(data + kHeaderSectionsAt);
    if (count > kMaxSections || tableAt < kMapHeaderBytes || tableAt > size ||
        uint64_t{count} * kMapSectionEntryBytes > size - tableAt)
        return "its header is damaged (the section table lies outside the file)";
    const unsigned char* table = data + tableAt;
    if (loadLittle<uint64_t>(data + kHeaderTableSumAt) !=
            XXH3_64bits(table, size_t{count} * kMapSectionEntryBytes) &&
        kChecksums)
        return "its section table is damaged";
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* entry = table + size_t{i} * kMapSectionEntryBytes;
        const auto kind = loadLittle<uint32_t>(entry);
        const auto flags = loadLittle<uint32_t>(entry + 4);
        const auto offset = loadLittle<uint64_t>(entry + 8);
        const auto bytes = loadLittle<uint64_t>(entry + 16);
        if (offset < kMapHeaderBytes || offset > size || bytes > size - offset)
            return "its section table is damaged (a section lies outside the file)";
        if (kind == 0 || kind > kMapSectionKinds) {
            if (flags & kMapSectionRequired)
                return "it needs a newer program (it holds a section of kind " + number(kind) +
                       " that this program does not know)";
            continue;  // a later addition this program can do without
        }
        Span& span = spans[kind];
        if (span.data != nullptr)
            return "its section table is damaged (two " + std::string(kSectionNames[kind]) +
                   " sections)";
        span = {data + offset, bytes};
        if (deferred != nullptr && bytes > kDeferredCheckBytes) {
            deferred->push_back({static_cast<MapSection>(kind), span,
                                 loadLittle<uint64_t>(entry + 24)});
            continue;
        }
        if (loadLittle<uint64_t>(entry + 24) != XXH3_64bits(data + offset, bytes) && kChecksums)
            return damaged(static_cast<MapSection>(kind), "its checksum does not match");
        if (releaseChecked) releasePages(span);
    }
    for (uint32_t kind = 1; kind <= kMapSectionKinds; ++kind)
        if (spans[kind].data == nullptr && !mapSectionIsOptional(static_cast<MapSection>(kind)))
            return std::string("it lacks its ") + kSectionNames[kind] + " section";
    return "";
}

std::string readGroups(const SectionSpans& spans, Graph& graph) {
    GroupNames& names = graph.assemblyGroupNames();
    Cursor nameCursor(spans[static_cast<uint32_t>(MapSection::GroupNames)]);
    uint32_t count = 0;
    if (!nameCursor.next(count)) return damaged(MapSection::GroupNames, "no count");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        std::string_view name;
        if (!nameCursor.next(length) || !nameCursor.text(length, name))
            return damaged(MapSection::GroupNames, "it ends inside a name");
        if (!isFieldText(name)) return damaged(MapSection::GroupNames, "a name no field holds");
        if (names.intern(name) != i) return damaged(MapSection::GroupNames, "a name twice");
    }
    if (!nameCursor.atEnd()) return damaged(MapSection::GroupNames, "bytes past its names");

    Cursor setCursor(spans[static_cast<uint32_t>(MapSection::GroupSets)]);
    if (!setCursor.next(count) || count == 0) return damaged(MapSection::GroupSets, "no count");
    std::vector<GroupNameId> set;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!setCursor.next(size) || size > kGroupKinds * 64)
            return damaged(MapSection::GroupSets, "a set's size");
        set.assign(size, 0);
        for (GroupNameId& id : set)
            if (!setCursor.next(id) || id >= names.nameCount())
                return damaged(MapSection::GroupSets, "a name that is not there");
        if (names.internSet(set) != i) return damaged(MapSection::GroupSets, "a set twice");
    }
    if (!setCursor.atEnd()) return damaged(MapSection::GroupSets, "bytes past its sets");
    return "";
}

std::string readMeta(Span span, Meta& meta) {
    if (span.size != kMetaBytes) return damaged(MapSection::Meta, "its size");
    const unsigned char* m = span.data;
    meta.nodes = loadLittle<uint64_t>(m + kMetaNodesAt);
    meta.links = loadLittle<uint64_t>(m + kMetaLinksAt);
    meta.top = loadLittle<int32_t>(m + kMetaTopAt);
    meta.start = loadLittle<uint32_t>(m + kMetaStartAt);
    meta.childSpacing = loadLittle<double>(m + kMetaChildSpacingAt);
    for (size_t i = 0; i < 16; ++i) meta.home.m[i] = loadLittle<double>(m + kMetaHomeAt + 8 * i);
    meta.stats.lines = loadLittle<uint64_t>(m + kMetaLinesAt);
    meta.stats.skippedLines = loadLittle<uint64_t>(m + kMetaSkippedLinesAt);
    meta.stats.holdsNul = m[kMetaHoldsNulAt] != 0;
    meta.loadFlags = loadLittle<int32_t>(m + kMetaLoadFlagsAt);
    if (meta.nodes == 0 || meta.nodes >= kMapNoNode || meta.links >= kMapNoNode ||
        meta.links + 1 < meta.nodes)
        return damaged(MapSection::Meta, "its counts");
    if (meta.top < -1 || (meta.top >= 0 && static_cast<uint64_t>(meta.top) >= meta.nodes) ||
        meta.start >= meta.nodes)
        return damaged(MapSection::Meta, "its top or start node");
    if (!std::isfinite(meta.childSpacing) || std::fabs(meta.childSpacing) > 1e6)
        return damaged(MapSection::Meta, "its layout spacing");
    for (double element : meta.home.m)
        if (!std::isfinite(element)) return damaged(MapSection::Meta, "its home view");
    return "";
}



std::string checkSections(const MappedFile& file, const std::vector<SectionCheck>& checks,
                          const std::atomic<bool>* stop) {
    // A piece the processor's cache holds, hashed while it is still there.
    constexpr uint64_t kPiece = uint64_t{256} << 10;
    std::vector<unsigned char> piece(kPiece);
    XXH3_state_t state;
    for (const SectionCheck& check : checks) {
        XXH3_64bits_reset(&state);
        const auto offset = static_cast<uint64_t>(check.span.data - file.data());
        for (uint64_t at = 0; at < check.span.size; at += kPiece) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) return "";
            const uint64_t bytes = std::min(kPiece, check.span.size - at);
            // A file cut short reads as zeros past its end, which the checksum refuses.
            file.copy(offset + at, piece.data(), bytes);
            XXH3_64bits_update(&state, piece.data(), bytes);
        }
        if (XXH3_64bits_digest(&state) != check.checksum && kChecksums)
            return damaged(check.kind, "its checksum does not match");
    }
    return "";
}

std::string checkDeferredNow(std::vector<SectionCheck>& deferred, MapSection kind) {
    const auto at = std::find_if(deferred.begin(), deferred.end(),
                                 [kind](const SectionCheck& c) { return c.kind == kind; });
    if (at == deferred.end()) return "";
    const SectionCheck check = *at;
    deferred.erase(at);
    if (XXH3_64bits(check.span.data, check.span.size) != check.checksum && kChecksums)
        return damaged(kind, "its checksum does not match");
    return "";
}

void releasePages(Span span) {
    const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<uintptr_t>(span.data);
    const uintptr_t start = (begin + page - 1) & ~(page - 1);
    const uintptr_t end = (begin + span.size) & ~(page - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

}  // namespace orvo::map_detail
