// Packing and unpacking a map. Every arrangement but the ids' front coding keeps a section's
// size, and that one takes what the others leave and unpacks to at most 256 times it: nothing
// is made larger than the pack bounds.
#include "mapfile/map_pack.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "mapfile/map_format.h"

namespace orvo {

namespace {

// How a field is stored: as it is, less the same field of the record before, or less the
// record's first field (a link's end less its start: links of one node point near each other).
enum class Step : uint8_t { Keep, Delta, LessFirst };

struct Field {
    uint8_t width;  // 4 or 8 bytes
    Step step;
};

// A section's records rearranged into columns: one per field, or one per byte of the record
// (where a field's high bytes are mostly zero and its low ones noise, the planes apart pay).
struct Arrangement {
    uint32_t recordBytes = 0;  // 0: the section is stored as it is
    uint32_t fieldCount = 0;
    std::array<Field, 4> fields{};
    bool bytePlanes = false;
};

// The gains below are those of the generated million-node site's sections, deflated at level 6
// each on its own, against the section as it is.
enum ArrangementId : uint32_t {
    kStored = 0,
    kOffsets = 1,      // the ids' offsets as lengths: 1.86 MB to 0.50
    kIndexList = 2,    // children, links out and in, as differences in byte planes: 1.51 MB to
                       // 0.68, 0.75 to 0.30, 1.26 to 1.02
    kNodeColumns = 3,  // parent as a difference, then level, group set and radius in columns:
                       // 2.64 MB to 2.02
    kLinkColumns = 4,  // from as a difference, to less from, extra, in columns: 4.18 MB to 3.00
    kFrontCoded = 5,   // the ids' text as the bytes each id shares with the one before (a byte
                       // each), then the rest of each: 61.1 MB to 13.7, deflated 5.31 MB to 3.12
    kArrangements = 6,
};

const Arrangement& arrangement(uint32_t id) {
    static const Arrangement kTable[kArrangements] = {
        {},
        {8, 1, {{{8, Step::Delta}}}, false},
        {4, 1, {{{4, Step::Delta}}}, true},
        {20, 4, {{{4, Step::Delta}, {4, Step::Keep}, {4, Step::Keep}, {8, Step::Keep}}}, false},
        {12, 3, {{{4, Step::Delta}, {4, Step::LessFirst}, {4, Step::Keep}}}, false},
        {},  // front coded: no records
    };
    return kTable[id];
}

uint32_t arrangementFor(uint32_t kind, uint64_t size) {
    uint32_t id = kStored;
    switch (static_cast<MapSection>(kind)) {
        case MapSection::IdOffsets:
            id = kOffsets;
            break;
        case MapSection::Children:
        case MapSection::OutLinks:
        case MapSection::InLinks:
            id = kIndexList;
            break;
        case MapSection::Nodes:
            id = kNodeColumns;
            break;
        case MapSection::Links:
            id = kLinkColumns;
            break;
        default:
            break;
    }
    const uint32_t record = arrangement(id).recordBytes;
    return record != 0 && size % record == 0 ? id : kStored;
}

uint64_t loadField(const unsigned char* at, uint8_t width) {
    return width == 8 ? loadLittle<uint64_t>(at) : loadLittle<uint32_t>(at);
}

void storeField(unsigned char* at, uint8_t width, uint64_t value) {
    if (width == 8)
        storeLittle<uint64_t>(at, value);
    else
        storeLittle<uint32_t>(at, static_cast<uint32_t>(value));
}

// Where byte `k` of field `f` of record `r` lies in the arranged section of `n` records.
struct Columns {
    const Arrangement& a;
    uint64_t n;
    std::array<uint32_t, 4> start{};  // the field's first byte in the record

    Columns(const Arrangement& arr, uint64_t records) : a(arr), n(records) {
        uint32_t at = 0;
        for (uint32_t f = 0; f < a.fieldCount; ++f) {
            start[f] = at;
            at += a.fields[f].width;
        }
    }
    // Stores a field's value at its place in the columns.
    void put(unsigned char* out, uint32_t f, uint64_t r, uint64_t value) const {
        const uint8_t w = a.fields[f].width;
        if (!a.bytePlanes) {
            storeField(out + start[f] * n + r * w, w, value);
            return;
        }
        for (uint32_t k = 0; k < w; ++k) out[(start[f] + k) * n + r] = uint8_t(value >> (8 * k));
    }
    uint64_t get(const unsigned char* in, uint32_t f, uint64_t r) const {
        const uint8_t w = a.fields[f].width;
        if (!a.bytePlanes) return loadField(in + start[f] * n + r * w, w);
        uint64_t value = 0;
        for (uint32_t k = 0; k < w; ++k) value |= uint64_t(in[(start[f] + k) * n + r]) << (8 * k);
        return value;
    }
};

uint64_t widthMask(uint8_t width) { return width == 8 ? ~0ull : 0xffffffffull; }

void arrange(const Arrangement& a, const unsigned char* in, uint64_t size, unsigned char* out) {
    const uint64_t n = size / a.recordBytes;
    const Columns columns(a, n);
    std::array<uint64_t, 4> before{};
    for (uint64_t r = 0; r < n; ++r) {
        const unsigned char* record = in + r * a.recordBytes;
        const uint64_t first = loadField(record, a.fields[0].width);
        for (uint32_t f = 0; f < a.fieldCount; ++f) {
            const Field field = a.fields[f];
            const uint64_t value = loadField(record + columns.start[f], field.width);
            uint64_t stored = value;
            if (field.step == Step::Delta) stored = value - before[f];
            if (field.step == Step::LessFirst) stored = value - first;
            before[f] = value;
            columns.put(out, f, r, stored & widthMask(field.width));
        }
    }
}

// Column by column, each read straight through; a link's end after its start, which it needs.
void restore(const Arrangement& a, const unsigned char* in, uint64_t size, unsigned char* out) {
    const uint64_t n = size / a.recordBytes;
    const Columns columns(a, n);
    for (uint32_t f = 0; f < a.fieldCount; ++f) {
        const Field field = a.fields[f];
        unsigned char* to = out + columns.start[f];
        uint64_t before = 0;
        for (uint64_t r = 0; r < n; ++r) {
            uint64_t value = columns.get(in, f, r);
            if (field.step == Step::Delta) value += before;
            if (field.step == Step::LessFirst)
                value += loadField(out + r * a.recordBytes, a.fields[0].width);
            value &= widthMask(field.width);
            before = value;
            storeField(to + r * a.recordBytes, field.width, value);
        }
    }
}

struct PackEntry {
    uint32_t kind = 0, flags = 0;
    uint64_t size = 0, checksum = 0;
    uint64_t stored = 0;  // the bytes it takes in the pack
    uint32_t arrangement = kStored;
};

// An id shares at most this many bytes with the one before.
constexpr uint64_t kMaxShared = 255;

// The ids' bounds, as the id offsets section holds them: n + 1 offsets from 0 up to the text's
// size, never going down. False when they are not.
bool idBounds(const unsigned char* offsets, uint64_t offsetBytes, uint64_t textBytes,
              uint64_t& ids) {
    if (offsetBytes < 8 || offsetBytes % 8 != 0) return false;
    ids = offsetBytes / 8 - 1;
    uint64_t before = 0;
    for (uint64_t i = 0; i <= ids; ++i) {
        const auto at = loadLittle<uint64_t>(offsets + 8 * i);
        if (at < before || (i == 0 && at != 0)) return false;
        before = at;
    }
    return before == textBytes;
}

// The ids' text front coded: per id the bytes it shares with the one before, then the rest of
// every id back to back.
std::string frontCode(const unsigned char* offsets, uint64_t ids, const unsigned char* text) {
    std::string out(ids, '\0');
    uint64_t beforeAt = 0, beforeLength = 0;
    for (uint64_t i = 0; i < ids; ++i) {
        const auto at = loadLittle<uint64_t>(offsets + 8 * i);
        const uint64_t length = loadLittle<uint64_t>(offsets + 8 * i + 8) - at;
        const uint64_t most = std::min({length, beforeLength, kMaxShared});
        uint64_t shared = 0;
        while (shared < most && text[at + shared] == text[beforeAt + shared]) ++shared;
        out[i] = static_cast<char>(shared);
        out.append(reinterpret_cast<const char*>(text + at + shared), length - shared);
        beforeAt = at;
        beforeLength = length;
    }
    return out;
}

// The ids' text back from its front coding, into `text` (`textBytes` long, bounded by the id
// offsets at `offsets`); "" or why not.
std::string frontDecoded(const unsigned char* offsets, uint64_t offsetBytes,
                         const unsigned char* coded, uint64_t codedBytes, unsigned char* text,
                         uint64_t textBytes) {
    uint64_t ids = 0;
    if (!idBounds(offsets, offsetBytes, textBytes, ids) || ids > codedBytes)
        return "its ids cannot be unpacked (their offsets are damaged)";
    uint64_t restAt = ids, beforeAt = 0, beforeLength = 0;
    for (uint64_t i = 0; i < ids; ++i) {
        const auto at = loadLittle<uint64_t>(offsets + 8 * i);
        const uint64_t length = loadLittle<uint64_t>(offsets + 8 * i + 8) - at;
        const uint64_t shared = coded[i];
        if (shared > std::min(length, beforeLength))
            return "its ids cannot be unpacked (an id's text is damaged)";
        if (length - shared > codedBytes - restAt)
            return "it is cut short: its ids' text ends before its ids do";
        std::memcpy(text + at, text + beforeAt, shared);
        std::memcpy(text + at + shared, coded + restAt, length - shared);
        restAt += length - shared;
        beforeAt = at;
        beforeLength = length;
    }
    if (restAt != codedBytes) return "its ids cannot be unpacked (their text is longer than they)";
    return "";
}

uint64_t aligned(uint64_t at) { return (at + kMapAlignment - 1) / kMapAlignment * kMapAlignment; }

// The head of a pack, checked: its entries, and the map's version and size.
std::string readHead(const unsigned char* pack, size_t size, uint32_t& version,
                     std::vector<PackEntry>& entries, uint64_t& mapBytes) {
    if (size < kMapPackHeadBytes || std::memcmp(pack, kMapPackMagic, sizeof kMapPackMagic) != 0)
        return "it is not a packed map (it does not start as one does)";
    version = loadLittle<uint32_t>(pack + 8);
    const auto count = loadLittle<uint32_t>(pack + 12);
    if (count > kMapPackMaxSections)
        return "its head is damaged (it names " + std::to_string(count) + " sections)";
    const uint64_t headBytes = kMapPackHeadBytes + uint64_t{count} * kMapPackEntryBytes;
    if (headBytes > size) return "it is cut short inside its head";
    entries.resize(count);
    uint64_t payload = 0;
    PackEntry* frontCoded = nullptr;
    mapBytes = kMapHeaderBytes;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* at = pack + kMapPackHeadBytes + uint64_t{i} * kMapPackEntryBytes;
        PackEntry& e = entries[i];
        e.kind = loadLittle<uint32_t>(at);
        e.flags = loadLittle<uint32_t>(at + 4);
        e.size = loadLittle<uint64_t>(at + 8);
        e.checksum = loadLittle<uint64_t>(at + 16);
        e.arrangement = loadLittle<uint32_t>(at + 24);
        if (e.arrangement >= kArrangements || loadLittle<uint32_t>(at + 28) != 0)
            return "its head is damaged (a section arranged in a way this program does not know)";
        const uint32_t record = arrangement(e.arrangement).recordBytes;
        if (record != 0 && e.size % record != 0)
            return "its head is damaged (a section's size is no whole number of records)";
        if (e.arrangement == kFrontCoded) {
            if (frontCoded != nullptr) return "its head is damaged (two sections front coded)";
            frontCoded = &e;
        } else {
            e.stored = e.size;
            if (e.stored > size - headBytes - payload)
                return "it is cut short: its sections need more bytes than it holds";
            payload += e.stored;
        }
        mapBytes = aligned(mapBytes) + e.size;
    }
    // The front coded ids' text takes what the other sections leave, and unpacks to at most as
    // many bytes more as its ids may share, a byte each.
    if (frontCoded != nullptr) {
        frontCoded->stored = size - headBytes - payload;
        if (frontCoded->stored > frontCoded->size ||
            frontCoded->size / (kMaxShared + 1) > frontCoded->stored)
            return "its head is damaged (its ids' text does not match what it takes)";
        payload += frontCoded->stored;
    }
    if (headBytes + payload != size)
        return "it has " + std::to_string(size - headBytes - payload) +
               " bytes more than its sections";
    mapBytes = aligned(mapBytes) + uint64_t{count} * kMapSectionEntryBytes;
    return "";
}

}  // namespace

std::string packMap(const unsigned char* map, size_t size, std::string& pack, bool keepOptional) {
    if (size < kMapHeaderBytes || std::memcmp(map, kMapMagic, sizeof kMapMagic) != 0)
        return "it is not a map";
    const auto tableAt = loadLittle<uint64_t>(map + kHeaderTableAt);
    const auto count = loadLittle<uint32_t>(map + kHeaderSectionsAt);
    if (count > kMapPackMaxSections || tableAt > size ||
        uint64_t{count} * kMapSectionEntryBytes > size - tableAt)
        return "its header is damaged (the section table lies outside the file)";
    std::vector<PackEntry> entries;
    std::vector<uint64_t> offsets;
    // The ids' text is front coded when the id offsets bound it.
    const unsigned char* idOffsets = nullptr;
    uint64_t idOffsetBytes = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* at = map + tableAt + uint64_t{i} * kMapSectionEntryBytes;
        const auto offset = loadLittle<uint64_t>(at + 8), bytes = loadLittle<uint64_t>(at + 16);
        if (loadLittle<uint32_t>(at) == static_cast<uint32_t>(MapSection::IdOffsets) &&
            offset <= size && bytes <= size - offset) {
            idOffsets = map + offset;
            idOffsetBytes = bytes;
        }
    }
    std::string idText;
    uint64_t payload = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* at = map + tableAt + uint64_t{i} * kMapSectionEntryBytes;
        PackEntry e;
        e.kind = loadLittle<uint32_t>(at);
        e.flags = loadLittle<uint32_t>(at + 4);
        const auto offset = loadLittle<uint64_t>(at + 8);
        e.size = loadLittle<uint64_t>(at + 16);
        e.checksum = loadLittle<uint64_t>(at + 24);
        if (offset > size || e.size > size - offset)
            return "its section table is damaged (a section lies outside the file)";
        if (!keepOptional && e.kind >= 1 && e.kind <= kMapSectionKinds &&
            mapSectionIsOptional(static_cast<MapSection>(e.kind)))
            continue;
        e.arrangement = arrangementFor(e.kind, e.size);
        e.stored = e.size;
        uint64_t ids = 0;
        if (e.kind == static_cast<uint32_t>(MapSection::IdText) && idOffsets != nullptr &&
            idBounds(idOffsets, idOffsetBytes, e.size, ids)) {
            idText = frontCode(idOffsets, ids, map + offset);
            if (idText.size() <= e.size) {
                e.arrangement = kFrontCoded;
                e.stored = idText.size();
            }
        }
        entries.push_back(e);
        offsets.push_back(offset);
        payload += e.stored;
    }
    pack.assign(kMapPackHeadBytes + entries.size() * kMapPackEntryBytes + payload, '\0');
    auto* out = reinterpret_cast<unsigned char*>(pack.data());
    std::memcpy(out, kMapPackMagic, sizeof kMapPackMagic);
    storeLittle<uint32_t>(out + 8, loadLittle<uint32_t>(map + kHeaderVersionAt));
    storeLittle<uint32_t>(out + 12, static_cast<uint32_t>(entries.size()));
    unsigned char* body = out + kMapPackHeadBytes + entries.size() * kMapPackEntryBytes;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackEntry& e = entries[i];
        unsigned char* at = out + kMapPackHeadBytes + i * kMapPackEntryBytes;
        storeLittle<uint32_t>(at, e.kind);
        storeLittle<uint32_t>(at + 4, e.flags);
        storeLittle<uint64_t>(at + 8, e.size);
        storeLittle<uint64_t>(at + 16, e.checksum);
        storeLittle<uint32_t>(at + 24, e.arrangement);
        const Arrangement& a = arrangement(e.arrangement);
        if (e.arrangement == kFrontCoded)
            std::memcpy(body, idText.data(), idText.size());
        else if (a.recordBytes == 0)
            std::memcpy(body, map + offsets[i], e.size);
        else
            arrange(a, map + offsets[i], e.size, body);
        body += e.stored;
    }
    return "";
}

std::string unpackedMapSize(const unsigned char* pack, size_t size, uint64_t& mapBytes) {
    uint32_t version = 0;
    std::vector<PackEntry> entries;
    return readHead(pack, size, version, entries, mapBytes);
}

std::string unpackMapInPlace(unsigned char* block, size_t blockBytes, size_t packBytes) {
    if (packBytes > blockBytes) return "it is larger than the block it is to be unpacked in";
    const unsigned char* pack = block + (blockBytes - packBytes);
    uint32_t version = 0;
    std::vector<PackEntry> entries;
    uint64_t mapBytes = 0;
    if (std::string why = readHead(pack, packBytes, version, entries, mapBytes); !why.empty())
        return why;
    if (mapBytes != blockBytes)
        return "it unpacks to " + std::to_string(mapBytes) + " bytes, not the " +
               std::to_string(blockBytes) + " its page was told";
    // Each section goes to its place in the map, which lies before where it is read from: the
    // map's header is longer than the pack's, and its table and padding come from nowhere. The
    // ids' text unpacks larger than it is packed, and would overtake what follows it: the pack
    // from there on is read from a copy.
    const uint64_t packAt = blockBytes - packBytes;
    uint64_t readAt = packAt + kMapPackHeadBytes + uint64_t{entries.size()} * kMapPackEntryBytes;
    uint64_t tailAt = blockBytes;
    for (uint64_t at = readAt; const PackEntry& e : entries) {
        if (e.stored < e.size) {
            tailAt = at;
            break;
        }
        at += e.stored;
    }
    const std::vector<unsigned char> tail(block + tailAt, block + blockBytes);
    uint64_t writeAt = kMapHeaderBytes;
    uint64_t idOffsetsAt = 0, idOffsetBytes = 0;
    std::vector<unsigned char> arranged;
    std::vector<unsigned char> table(entries.size() * kMapSectionEntryBytes);
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackEntry& e = entries[i];
        const bool fromTail = readAt >= tailAt;
        if (!fromTail && writeAt > readAt) return "its sections overlap as they are unpacked";
        const unsigned char* from = fromTail ? tail.data() + (readAt - tailAt) : block + readAt;
        const Arrangement& a = arrangement(e.arrangement);
        if (e.arrangement == kFrontCoded) {
            if (idOffsetBytes == 0) return "its ids cannot be unpacked (their offsets come later)";
            if (std::string why = frontDecoded(block + idOffsetsAt, idOffsetBytes, from, e.stored,
                                               block + writeAt, e.size);
                !why.empty())
                return why;
        } else if (a.recordBytes == 0) {
            // An empty section past the ids' text has no bytes to come from (its copy is empty).
            if (e.size > 0) std::memmove(block + writeAt, from, e.size);
        } else if (fromTail) {
            restore(a, from, e.size, block + writeAt);
        } else {
            arranged.assign(from, from + e.size);
            restore(a, arranged.data(), e.size, block + writeAt);
        }
        if (e.kind == static_cast<uint32_t>(MapSection::IdOffsets)) {
            idOffsetsAt = writeAt;
            idOffsetBytes = e.size;
        }
        unsigned char* entry = table.data() + i * kMapSectionEntryBytes;
        storeLittle<uint32_t>(entry, e.kind);
        storeLittle<uint32_t>(entry + 4, e.flags);
        storeLittle<uint64_t>(entry + 8, writeAt);
        storeLittle<uint64_t>(entry + 16, e.size);
        storeLittle<uint64_t>(entry + 24, e.checksum);
        readAt += e.stored;
        writeAt += e.size;
        const uint64_t next = aligned(writeAt);
        std::memset(block + writeAt, 0, next - writeAt);
        writeAt = next;
    }
    if (!table.empty()) std::memcpy(block + writeAt, table.data(), table.size());
    unsigned char* header = block;
    std::memset(header, 0, kMapHeaderBytes);
    std::memcpy(header, kMapMagic, sizeof kMapMagic);
    storeLittle<uint32_t>(header + kHeaderVersionAt, version);
    storeLittle<uint32_t>(header + kHeaderSizeAt, kMapHeaderBytes);
    storeLittle<uint64_t>(header + kHeaderFileBytesAt, blockBytes);
    storeLittle<uint64_t>(header + kHeaderTableAt, writeAt);
    storeLittle<uint32_t>(header + kHeaderSectionsAt, static_cast<uint32_t>(entries.size()));
    storeLittle<uint64_t>(header + kHeaderTableSumAt, XXH3_64bits(table.data(), table.size()));
    storeLittle<uint64_t>(header + kHeaderSumAt, XXH3_64bits(header, kHeaderSumAt));
    return "";
}

std::string unpackMap(const unsigned char* pack, size_t size, std::string& map) {
    uint64_t mapBytes = 0;
    if (std::string why = unpackedMapSize(pack, size, mapBytes); !why.empty()) return why;
    if (mapBytes < size) return "it is larger than the map it unpacks to";
    map.assign(mapBytes, '\0');
    std::memcpy(map.data() + (mapBytes - size), pack, size);
    return unpackMapInPlace(reinterpret_cast<unsigned char*>(map.data()), map.size(), size);
}

}  // namespace orvo
