// Two passes over the map's ids and labels, read back from the file in large pieces: the first
// counts each bucket's entries, the second files every node in node order, so that the entries
// of a key come in node order with nothing sorted.
#include "mapfile/name_index_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "graph/graph.h"
#include "mapfile/map_format.h"
#include "mapfile/map_writer.h"
#include "mapfile/name_keys.h"
#include "mapfile/section_append.h"

namespace orvo {

namespace {

// A part of the file read through a window of it, for reads that mostly go forward.
class FileWindow {
public:
    FileWindow(int fd, uint64_t at, uint64_t size) : fd_(fd), at_(at), size_(size) {}

    /// Bytes [offset, offset + length) of the part; false when they lie outside it or cannot
    /// be read.
    bool view(uint64_t offset, uint64_t length, std::string_view& out) {
        if (offset > size_ || length > size_ - offset) return false;
        if (offset < bufferAt_ || offset + length > bufferAt_ + buffer_.size()) {
            const uint64_t want = std::min(size_ - offset, std::max<uint64_t>(length, kPiece));
            buffer_.resize(want);
            if (!readFileAt(fd_, buffer_.data(), want, at_ + offset)) {
                buffer_.clear();
                return false;
            }
            bufferAt_ = offset;
        }
        out = {buffer_.data() + (offset - bufferAt_), static_cast<size_t>(length)};
        return true;
    }

private:
    static constexpr uint64_t kPiece = uint64_t{1} << 20;
    int fd_;
    uint64_t at_, size_;
    std::vector<char> buffer_;
    uint64_t bufferAt_ = 0;
};

uint32_t bucketsFor(uint64_t entries) {
    uint32_t buckets = 1;
    while (buckets < entries / 8 && buckets < (uint32_t{1} << 31)) buckets <<= 1;
    return buckets;
}

// The map's ids and labels, case-folded, each handed on in the order the map keeps them.
class NameSource {
public:
    NameSource(int fd, const MapLayout& layout) : fd_(fd), layout_(layout) {}

    /// take(node, folded id) for every node; false when the ids cannot be read.
    template <typename Take>
    bool eachId(Take&& take) {
        const SectionEntry* offsets = layout_.of(MapSection::IdOffsets);
        const SectionEntry* text = layout_.of(MapSection::IdText);
        if (offsets == nullptr || text == nullptr) return false;
        FileWindow starts(fd_, offsets->offset, offsets->size);
        FileWindow ids(fd_, text->offset, text->size);
        std::string_view bytes, id;
        if (!starts.view(0, 8, bytes)) return false;
        uint64_t begin = loadLittle<uint64_t>(reinterpret_cast<const unsigned char*>(bytes.data()));
        for (uint64_t node = 0; node < layout_.nodes; ++node) {
            if (!starts.view((node + 1) * 8, 8, bytes)) return false;
            const auto end =
                loadLittle<uint64_t>(reinterpret_cast<const unsigned char*>(bytes.data()));
            if (end < begin || !ids.view(begin, end - begin, id)) return false;
            folded_.assign(id);
            foldInPlace(folded_);
            if (!take(static_cast<uint32_t>(node), std::string_view(folded_))) return false;
            begin = end;
        }
        return true;
    }

    /// take(node, folded label) for every label record; false when they cannot be read.
    template <typename Take>
    bool eachLabel(Take&& take) {
        const SectionEntry* records = layout_.of(MapSection::Labels);
        const SectionEntry* text = layout_.of(MapSection::LabelText);
        if (records == nullptr || text == nullptr) return records == nullptr;
        FileWindow recordWindow(fd_, records->offset, records->size);
        FileWindow labels(fd_, text->offset, text->size);
        std::string_view record, label;
        for (uint64_t at = 0; at + kLabelRecordBytes <= records->size; at += kLabelRecordBytes) {
            if (!recordWindow.view(at, kLabelRecordBytes, record)) return false;
            const auto* r = reinterpret_cast<const unsigned char*>(record.data());
            const auto node = loadLittle<uint32_t>(r);
            if (node >= layout_.nodes) continue;
            if (!labels.view(loadLittle<uint64_t>(r + 8), loadLittle<uint32_t>(r + 4), label))
                return false;
            folded_.assign(label);
            foldInPlace(folded_);
            if (!take(node, std::string_view(folded_))) return false;
        }
        return true;
    }

private:
    static void foldInPlace(std::string& text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }

    int fd_;
    const MapLayout& layout_;
    std::string folded_;
};

// The section in memory, entries filed straight into its bytes; the bucket starts are counted
// beside it and copied in at the end.
class IndexBuilder {
public:
    IndexBuilder(uint64_t nodes, uint64_t labelKeys)
        : segments_(bucketsFor(nodes)), labels_(bucketsFor(labelKeys)), nodes_(nodes) {
        entriesAt_ = kNamesHeadBytes + 4 * (segments_.starts.size() + labels_.starts.size());
        bytes_.assign(entriesAt_ + kNamesEntryBytes * (nodes + labelKeys), 0);
        storeLittle<uint64_t>(bytes_.data() + kNamesNodesAt, nodes);
        storeLittle<uint32_t>(bytes_.data() + kNamesSegmentBucketsAt, segments_.buckets());
        storeLittle<uint32_t>(bytes_.data() + kNamesLabelBucketsAt, labels_.buckets());
        storeLittle<uint64_t>(bytes_.data() + kNamesSegmentEntriesAt, nodes);
        storeLittle<uint64_t>(bytes_.data() + kNamesLabelEntriesAt, labelKeys);
    }

    void countSegment(uint64_t hash) { segments_.count(hash); }
    void countLabel(uint64_t hash) { labels_.count(hash); }
    /// Turns the counts into where each bucket starts, and writes those into the section.
    void startFilling() {
        unsigned char* at = bytes_.data() + kNamesHeadBytes;
        for (Table* table : {&segments_, &labels_}) {
            table->startFilling();
            for (const uint32_t start : table->starts) {
                storeLittle<uint32_t>(at, start);
                at += 4;
            }
        }
    }
    void fileSegment(uint64_t hash, uint32_t node, uint16_t pathCheck) {
        unsigned char* e = entry(segments_.next(hash));
        storeLittle<uint32_t>(e, node);
        storeLittle<uint16_t>(e + 4, static_cast<uint16_t>(hash >> 48));
        storeLittle<uint16_t>(e + 6, pathCheck);
    }
    void fileLabel(uint64_t hash, uint32_t node) {
        unsigned char* e = entry(nodes_ + labels_.next(hash));
        storeLittle<uint32_t>(e, node);
        storeLittle<uint32_t>(e + 4, static_cast<uint32_t>(hash >> 32));
    }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

private:
    struct Table {
        explicit Table(uint32_t buckets) : starts(uint64_t{buckets} + 1, 0) {}
        uint32_t buckets() const { return static_cast<uint32_t>(starts.size() - 1); }
        void count(uint64_t hash) { ++starts[hash & (buckets() - 1)]; }
        void startFilling() {
            uint32_t sum = 0;
            for (uint32_t& start : starts) sum += std::exchange(start, sum);
            cursors.assign(starts.begin(), starts.end() - 1);
        }
        uint32_t next(uint64_t hash) { return cursors[hash & (buckets() - 1)]++; }
        std::vector<uint32_t> starts, cursors;
    };
    unsigned char* entry(uint64_t index) {
        return bytes_.data() + entriesAt_ + kNamesEntryBytes * index;
    }

    Table segments_, labels_;
    uint64_t nodes_;
    uint64_t entriesAt_ = 0;
    std::vector<unsigned char> bytes_;
};

bool stopped(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

// Both passes file the same keys: `segment(node, folded id)` and `label(node, key)`.
template <typename Segment, typename Label>
std::string passOver(NameSource& names, const std::atomic<bool>* stop, Segment&& segment,
                     Label&& label) {
    std::vector<std::string_view> keys;
    const bool read =
        names.eachId([&](uint32_t node, std::string_view id) {
            segment(node, id);
            return (node & 0xffff) != 0 || !stopped(stop);
        }) &&
        names.eachLabel([&](uint32_t node, std::string_view text) {
            labelKeys(text, keys);
            for (const std::string_view key : keys) label(node, key);
            return true;
        });
    if (stopped(stop)) return kMapWriteStopped;
    return read ? "" : "its ids or labels cannot be read back";
}

}  // namespace

std::string appendNameIndex(std::FILE* out, const std::atomic<bool>* stop) {
    if (std::fflush(out) != 0) return std::strerror(errno);
    const int fd = ::fileno(out);
    MapLayout layout;
    char probe;
    if (!readFileAt(fd, &probe, 1, 0)) return "";  // open for writing only: no index
    if (!readMapLayout(fd, layout) || layout.nodes == 0 || layout.nodes >= kMapNoNode)
        return "the map cannot be read back";
    if (layout.of(MapSection::NameIndex) != nullptr) return "";

    NameSource names(fd, layout);
    uint64_t labelKeys = 0;
    std::vector<std::string_view> keys;
    if (!names.eachLabel([&](uint32_t, std::string_view text) {
            orvo::labelKeys(text, keys);
            labelKeys += keys.size();
            return true;
        }))
        return "its labels cannot be read back";
    if (labelKeys >= kMapNoNode) return "";  // past what the tables' u32 starts can count
    IndexBuilder index(layout.nodes, labelKeys);
    const auto segmentHash = [](std::string_view id) { return nameHash(ownSegmentOf(id)); };
    if (std::string why = passOver(
            names, stop, [&](uint32_t, std::string_view id) { index.countSegment(segmentHash(id)); },
            [&](uint32_t, std::string_view key) { index.countLabel(nameHash(key)); });
        !why.empty())
        return why;
    index.startFilling();
    if (std::string why = passOver(
            names, stop,
            [&](uint32_t node, std::string_view id) {
                index.fileSegment(segmentHash(id), node, pathCheckOf(pathLabelOf(id)));
            },
            [&](uint32_t node, std::string_view key) { index.fileLabel(nameHash(key), node); });
        !why.empty())
        return why;
    return appendSection(out, layout, MapSection::NameIndex, index.bytes());
}

}  // namespace orvo
