#include "mapfile/section_sink.h"

#include <cerrno>
#include <cstring>

#include "graph/group_names.h"
#include "graph/node_measures.h"
#include "mapfile/map_writer.h"
#include "settings/viewer_settings.h"

namespace orvo {

void startMap(SectionSink& sink) {
    const unsigned char header[kMapHeaderBytes] = {};
    sink.raw(header, sizeof header);
}

void putMeta(SectionSink& sink, const MapMeta& m, const ViewerSettings& settings) {
    unsigned char meta[kMetaBytes] = {};
    storeLittle<uint64_t>(meta + kMetaNodesAt, m.nodes);
    storeLittle<uint64_t>(meta + kMetaLinksAt, m.links);
    storeLittle<int32_t>(meta + kMetaTopAt, m.top);
    storeLittle<uint32_t>(meta + kMetaStartAt, m.start);
    storeLittle<double>(meta + kMetaChildSpacingAt, settings.childSpacing);
    for (size_t i = 0; i < 16; ++i) storeLittle<double>(meta + kMetaHomeAt + 8 * i, m.home.m[i]);
    storeLittle<uint64_t>(meta + kMetaLinesAt, m.stats.lines);
    storeLittle<uint64_t>(meta + kMetaSkippedLinesAt, m.stats.skippedLines);
    meta[kMetaHoldsNulAt] = m.stats.holdsNul ? 1 : 0;
    storeLittle<int32_t>(meta + kMetaLoadFlagsAt, settings.loadFlags);
    sink.begin(MapSection::Meta);
    sink.put(meta, sizeof meta);
    sink.end();
}

void putGroups(SectionSink& sink, const GroupNames& names) {
    sink.begin(MapSection::GroupNames);
    sink.number<uint32_t>(static_cast<uint32_t>(names.nameCount()));
    for (size_t i = 0; i < names.nameCount(); ++i) {
        const std::string_view name = names.name(static_cast<GroupNameId>(i));
        sink.number<uint32_t>(static_cast<uint32_t>(name.size()));
        sink.put(name.data(), name.size());
    }
    sink.end();
    sink.begin(MapSection::GroupSets);
    sink.number<uint32_t>(static_cast<uint32_t>(names.setCount()));
    for (size_t i = 0; i < names.setCount(); ++i) {
        const GroupSetView set = names.set(static_cast<GroupSetId>(i));
        sink.number<uint32_t>(static_cast<uint32_t>(set.size()));
        for (GroupNameId id : set) sink.number<uint32_t>(id);
    }
    sink.end();
}

void putMeasures(SectionSink& sink, const NodeMeasures& measures) {
    sink.begin(MapSection::Measures);
    unsigned char head[kMeasuresHeadBytes] = {};
    storeLittle<uint64_t>(head + kMeasuresNodesAt, measures.size());
    storeLittle<int32_t>(head + kMeasuresRoundsAt, measures.scoreRounds);
    sink.put(head, sizeof head);
    putColumn(sink, measures.depth.data(), measures.depth.size());
    putColumn(sink, measures.linksIn.data(), measures.linksIn.size());
    putColumn(sink, measures.linksOut.data(), measures.linksOut.size());
    putColumn(sink, measures.subtree.data(), measures.subtree.size());
    putColumn(sink, measures.score.data(), measures.score.size());
    sink.end();
}

std::vector<unsigned char> sectionTable(const std::vector<SectionEntry>& entries) {
    std::vector<unsigned char> table(entries.size() * kMapSectionEntryBytes);
    for (size_t i = 0; i < entries.size(); ++i) {
        const SectionEntry& e = entries[i];
        unsigned char* entry = table.data() + i * kMapSectionEntryBytes;
        storeLittle<uint32_t>(entry, static_cast<uint32_t>(e.kind));
        storeLittle<uint32_t>(entry + 4, mapSectionIsOptional(e.kind) ? 0 : kMapSectionRequired);
        storeLittle<uint64_t>(entry + 8, e.offset);
        storeLittle<uint64_t>(entry + 16, e.size);
        storeLittle<uint64_t>(entry + 24, e.checksum);
    }
    return table;
}

std::string putHeader(std::FILE* out, uint64_t fileBytes, uint64_t tableAt,
                      const std::vector<unsigned char>& table) {
    unsigned char header[kMapHeaderBytes] = {};
    std::memcpy(header, kMapMagic, sizeof kMapMagic);
    storeLittle<uint32_t>(header + kHeaderVersionAt, kMapVersion);
    storeLittle<uint32_t>(header + kHeaderSizeAt, kMapHeaderBytes);
    storeLittle<uint64_t>(header + kHeaderFileBytesAt, fileBytes);
    storeLittle<uint64_t>(header + kHeaderTableAt, tableAt);
    storeLittle<uint32_t>(header + kHeaderSectionsAt,
                          static_cast<uint32_t>(table.size() / kMapSectionEntryBytes));
    storeLittle<uint64_t>(header + kHeaderTableSumAt, XXH3_64bits(table.data(), table.size()));
    storeLittle<uint64_t>(header + kHeaderSumAt, XXH3_64bits(header, kHeaderSumAt));
    if (std::fseek(out, 0, SEEK_SET) != 0) return "a map cannot be written where it cannot seek";
    if (std::fwrite(header, 1, sizeof header, out) != sizeof header) return std::strerror(errno);
    return "";
}

std::string finishMap(SectionSink& sink, std::FILE* out) {
    while (sink.at() % kMapAlignment != 0) sink.raw("\0", 1);
    const uint64_t tableAt = sink.at();
    const std::vector<unsigned char> table = sectionTable(sink.entries());
    sink.raw(table.data(), table.size());
    if (!sink.flush()) return sink.stopped() ? kMapWriteStopped : std::strerror(errno);
    return putHeader(out, sink.at(), tableAt, table);
}

}  // namespace orvo
