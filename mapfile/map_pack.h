// A map packed for a published page: its sections back to back, without the section table's
// offsets or the alignment padding, each rearranged so that deflate finds more to take (columns
// of a record's fields, differences from the record before, each id as what it adds to the one
// before). Unpacking gives back the map's own bytes, which its checksums then check.
// docs/publishing.md describes the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvo {

/// The first eight bytes of a pack.
constexpr unsigned char kMapPackMagic[8] = {0x89, 'O', 'R', 'V', 'P', 'A', 'C', 'K'};
constexpr uint32_t kMapPackHeadBytes = 16;   // magic, u32 map version, u32 sections
constexpr uint32_t kMapPackEntryBytes = 32;  // u32 kind, u32 flags, u64 size, u64 checksum,
                                             // u32 arrangement, u32 zero
/// More sections than any map has; a pack naming more is refused before anything is made.
constexpr uint32_t kMapPackMaxSections = 256;

/// Packs a whole map (as the map writer writes it) into `pack`. The optional sections (the
/// measures, which a page works out itself) are left out unless `keepOptional`. "" or why not.
std::string packMap(const unsigned char* map, size_t size, std::string& pack,
                    bool keepOptional = false);

/// The size of the map a pack unpacks to, from its head alone; "" or why not.
std::string unpackedMapSize(const unsigned char* pack, size_t size, uint64_t& mapBytes);

/// Unpacks the pack held in the last `packBytes` bytes of `block` into the whole block, which
/// must be unpackedMapSize() bytes long: the map is written from the block's start, never over
/// what of the pack is still to be read, so that the page holds a single block. "" or why not;
/// on failure the block holds nothing usable. Needs a buffer the size of the largest rearranged
/// section, and one of the pack from the ids' text on (which unpacks larger than it is packed).
std::string unpackMapInPlace(unsigned char* block, size_t blockBytes, size_t packBytes);

/// Unpacks a pack into a map of its own; "" or why not.
std::string unpackMap(const unsigned char* pack, size_t size, std::string& map);

}  // namespace orvo
