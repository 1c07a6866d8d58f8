// Writing a map's sections one after another: a buffered sink that keeps each section's offset,
// size and checksum, and the table and header that close the file.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "geometry/proj_transform.h"
#include "graph/read_stats.h"
#include "mapfile/map_format.h"

namespace orvo {

struct SectionEntry {
    MapSection kind;
    uint64_t offset = 0, size = 0, checksum = 0;
};

// Appends bytes to the file through a buffer, keeping the checksum of the current section. The
// checksum takes the section's bytes a buffer at a time, not a number at a time: most records
// are a few bytes each, and a checksum's update costs more than the bytes it is given. Once
// writing failed or was stopped, nothing more is written.
class SectionSink final {
public:
    SectionSink(std::FILE* out, const std::atomic<bool>* stop) : out_(out), stop_(stop) {
        buffer_.reserve(kBufferBytes);
    }

    void begin(MapSection kind) {
        while (at_ % kMapAlignment != 0) raw("\0", 1);
        current_ = {kind, at_, 0, 0};
        XXH3_64bits_reset(&state_);
    }
    void end() {
        hashPending();
        current_.size = at_ - current_.offset;
        current_.checksum = XXH3_64bits_digest(&state_);
        entries_.push_back(current_);
    }
    /// Bytes of the current section.
    void put(const void* data, size_t size) {
        append(data, size);
        if (buffer_.size() >= kBufferBytes) flush();
    }
    template <typename T>
    void number(T value) {
        unsigned char bytes[sizeof value];
        storeLittle(bytes, value);
        put(bytes, sizeof bytes);
    }
    /// Bytes outside every section (the header, the table, the padding between sections).
    void raw(const void* data, size_t size) {
        hashPending();
        append(data, size);
        hashedUpTo_ = buffer_.size();
        if (buffer_.size() >= kBufferBytes) flush();
    }
    bool flush() {
        hashPending();
        if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) stopped_ = failed_ = true;
        if (!failed_ && !buffer_.empty() &&
            std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size())
            failed_ = true;
        buffer_.clear();
        hashedUpTo_ = 0;
        return !failed_;
    }
    uint64_t at() const { return at_; }
    bool failed() const { return failed_; }
    bool stopped() const { return stopped_; }
    const std::vector<SectionEntry>& entries() const { return entries_; }

private:
    void append(const void* data, size_t size) {
        if (failed_) return;
        const auto* bytes = static_cast<const char*>(data);
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        at_ += size;
    }
    // The section's bytes in the buffer that the checksum has not taken yet.
    void hashPending() {
        if (buffer_.size() > hashedUpTo_)
            XXH3_64bits_update(&state_, buffer_.data() + hashedUpTo_, buffer_.size() - hashedUpTo_);
        hashedUpTo_ = buffer_.size();
    }

    static constexpr size_t kBufferBytes = 1 << 20;
    std::FILE* out_;
    const std::atomic<bool>* stop_;
    std::vector<char> buffer_;
    size_t hashedUpTo_ = 0;  // buffer_[0, hashedUpTo_) is in the checksum or outside sections
    uint64_t at_ = 0;
    bool failed_ = false;
    bool stopped_ = false;
    XXH3_state_t state_;
    SectionEntry current_{};
    std::vector<SectionEntry> entries_;
};

/// The header's room at the file's start, filled in by finishMap.
void startMap(SectionSink& sink);

/// The section table's bytes for these sections.
std::vector<unsigned char> sectionTable(const std::vector<SectionEntry>& entries);
/// Writes the header at the file's start, for a table of these bytes at `tableAt` in a file of
/// `fileBytes`; "" or why not.
std::string putHeader(std::FILE* out, uint64_t fileBytes, uint64_t tableAt,
                      const std::vector<unsigned char>& table);

/// Writes the section table after the sections written so far and the header at the file's start
/// (which must be seekable); "" or why not (kMapWriteStopped when the sink was stopped).
std::string finishMap(SectionSink& sink, std::FILE* out);

/// The columns go out as they lie in memory (the map's numbers are little-endian, as this
/// machine's are), a buffer's worth at a time.
template <typename T>
void putColumn(SectionSink& sink, const T* column, size_t count) {
    constexpr size_t kPiece = (size_t{1} << 16) / sizeof(T);
    for (size_t at = 0; at < count; at += kPiece)
        sink.put(column + at, std::min(kPiece, count - at) * sizeof(T));
}

class GroupNames;
struct NodeMeasures;
struct ViewerSettings;

/// What the meta section holds besides the settings'.
struct MapMeta {
    uint64_t nodes = 0, links = 0;
    int32_t top = -1;
    uint32_t start = 0;
    ProjTransform home = ProjTransform::identity();
    ReadStats stats;
};

/// The meta section.
void putMeta(SectionSink& sink, const MapMeta& meta, const ViewerSettings& settings);
/// The group names and group sets sections.
void putGroups(SectionSink& sink, const GroupNames& names);
/// The measures section.
void putMeasures(SectionSink& sink, const NodeMeasures& measures);

}  // namespace orvo
