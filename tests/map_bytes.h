// A map held in memory for tests that alter it on purpose.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "mapfile/map_format.h"

namespace orvo::testing {

// A map held in memory, its sections found through its table, altered and sealed again with
// fresh checksums: damage that the checksums do not catch must be caught by the checks.
class MapBytes {
public:
    explicit MapBytes(std::string bytes) : bytes_(std::move(bytes)) {}
    unsigned char* data() { return reinterpret_cast<unsigned char*>(bytes_.data()); }
    size_t size() const { return bytes_.size(); }
    std::string& bytes() { return bytes_; }
    // Offset and size of the section of this kind.
    std::pair<uint64_t, uint64_t> section(MapSection kind) {
        for (uint32_t i = 0; i < sectionCount(); ++i) {
            unsigned char* entry = entryAt(i);
            if (loadLittle<uint32_t>(entry) == static_cast<uint32_t>(kind))
                return {loadLittle<uint64_t>(entry + 8), loadLittle<uint64_t>(entry + 16)};
        }
        ADD_FAILURE() << "no section " << static_cast<uint32_t>(kind);
        return {0, 0};
    }
    void seal() {
        for (uint32_t i = 0; i < sectionCount(); ++i) {
            unsigned char* entry = entryAt(i);
            storeLittle<uint64_t>(entry + 24, XXH3_64bits(data() + loadLittle<uint64_t>(entry + 8),
                                                          loadLittle<uint64_t>(entry + 16)));
        }
        storeLittle<uint64_t>(data() + kHeaderTableSumAt,
                              XXH3_64bits(entryAt(0), sectionCount() * kMapSectionEntryBytes));
        storeLittle<uint64_t>(data() + kHeaderFileBytesAt, size());
        storeLittle<uint64_t>(data() + kHeaderSumAt, XXH3_64bits(data(), kHeaderSumAt));
    }
    uint32_t sectionCount() { return loadLittle<uint32_t>(data() + kHeaderSectionsAt); }
    // The section's entry made one of a kind no reader knows, which a reader skips.
    void forget(MapSection kind) { storeLittle<uint32_t>(entryOf(kind), 99); }
    // The section's size in the table made smaller (its bytes stay where they are).
    void resize(MapSection kind, uint64_t bytes) { storeLittle<uint64_t>(entryOf(kind) + 16, bytes); }
    unsigned char* entryOf(MapSection kind) {
        for (uint32_t i = 0; i < sectionCount(); ++i)
            if (loadLittle<uint32_t>(entryAt(i)) == static_cast<uint32_t>(kind)) return entryAt(i);
        ADD_FAILURE() << "no section " << static_cast<uint32_t>(kind);
        return entryAt(0);
    }
    unsigned char* entryAt(uint32_t i) {
        return data() + loadLittle<uint64_t>(data() + kHeaderTableAt) + i * kMapSectionEntryBytes;
    }

private:
    std::string bytes_;
};

}  // namespace orvo::testing
