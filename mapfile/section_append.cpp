#include "mapfile/section_append.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvo {

bool readFileAt(int fd, void* to, size_t bytes, uint64_t at) {
    auto* out = static_cast<unsigned char*>(to);
    for (size_t done = 0; done < bytes;) {
        const ssize_t got = ::pread(fd, out + done, bytes - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// The table the writer has just written: read back rather than handed over.
bool readMapLayout(int fd, MapLayout& layout) {
    unsigned char header[kMapHeaderBytes];
    if (!readFileAt(fd, header, sizeof header, 0)) return false;
    layout.tableAt = loadLittle<uint64_t>(header + kHeaderTableAt);
    const auto count = loadLittle<uint32_t>(header + kHeaderSectionsAt);
    if (count > 2 * kMapSectionKinds) return false;  // no table the writers write
    std::vector<unsigned char> table(size_t{count} * kMapSectionEntryBytes);
    if (!readFileAt(fd, table.data(), table.size(), layout.tableAt)) return false;
    layout.entries.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* entry = table.data() + size_t{i} * kMapSectionEntryBytes;
        layout.entries.push_back({static_cast<MapSection>(loadLittle<uint32_t>(entry)),
                                  loadLittle<uint64_t>(entry + 8), loadLittle<uint64_t>(entry + 16),
                                  loadLittle<uint64_t>(entry + 24)});
    }
    const SectionEntry* meta = layout.of(MapSection::Meta);
    unsigned char nodes[8];
    if (meta == nullptr || !readFileAt(fd, nodes, sizeof nodes, meta->offset + kMetaNodesAt))
        return false;
    layout.nodes = loadLittle<uint64_t>(nodes);
    return true;
}

std::string appendSection(std::FILE* out, const MapLayout& layout, MapSection kind,
                          const std::vector<unsigned char>& section) {
    std::vector<SectionEntry> entries = layout.entries;
    entries.push_back(
        {kind, layout.tableAt, section.size(), XXH3_64bits(section.data(), section.size())});
    uint64_t tableAt = layout.tableAt + section.size();
    const uint64_t padding = (kMapAlignment - tableAt % kMapAlignment) % kMapAlignment;
    tableAt += padding;
    const std::vector<unsigned char> table = sectionTable(entries);
    const unsigned char zeros[kMapAlignment] = {};
    if (std::fseek(out, static_cast<long>(layout.tableAt), SEEK_SET) != 0)
        return "a map cannot be written where it cannot seek";
    if (std::fwrite(section.data(), 1, section.size(), out) != section.size() ||
        std::fwrite(zeros, 1, padding, out) != padding ||
        std::fwrite(table.data(), 1, table.size(), out) != table.size())
        return std::strerror(errno);
    if (std::string why = putHeader(out, tableAt + table.size(), tableAt, table); !why.empty())
        return why;
    return std::fflush(out) == 0 ? "" : std::strerror(errno);
}

}  // namespace orvo
