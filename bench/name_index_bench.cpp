// A map's name index. `orvo_name_index_bench --add MAP` adds the index to a map written without
// one (a copy: the file is changed), as the writers do at their end, and tells its time, bytes
// and the process's peak memory. `orvo_name_index_bench MAP` opens a map for regions and times
// what the index answers at once: a whole id, a page's name, a folder's name, a label word and
// absent text, each as Find's exact hits and as findNode, against the pass over every id that
// a map without the index needs. Queries given after the map are timed too.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/process_memory.h"
#include "graph/graph.h"
#include "graph/node_search.h"
#include "mapfile/map_region.h"
#include "mapfile/name_index_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kShown = 20;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int add(const char* path) {
    std::FILE* file = std::fopen(path, "r+b");
    if (file == nullptr) {
        std::perror(path);
        return 1;
    }
    std::fseek(file, 0, SEEK_END);
    const long before = std::ftell(file);
    const auto start = Clock::now();
    const std::string why = orvo::appendNameIndex(file);
    const double ms = millisecondsSince(start);
    std::fseek(file, 0, SEEK_END);
    const long after = std::ftell(file);
    std::fclose(file);
    if (!why.empty()) {
        std::fprintf(stderr, "orvo_name_index_bench: %s\n", why.c_str());
        return 1;
    }
    std::printf("index added: %.2f s, %.1f MiB (the map %.1f MiB before)\n", ms / 1000,
                double(after - before) / (1 << 20), double(before) / (1 << 20));
    std::printf("  peak resident %.0f MiB\n",
                double(orvo::bench::peakResidentBytes()) / (1 << 20));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--add") return add(argv[2]);
    if (argc < 2 || std::string(argv[1]) == "--add") {
        std::fprintf(stderr, "usage: orvo_name_index_bench [--add] MAP | MAP [QUERY...]\n");
        return 2;
    }
    orvo::MapRegionSource source;
    if (const std::string why = source.open(argv[1]); !why.empty()) {
        std::fprintf(stderr, "orvo_name_index_bench: %s\n", why.c_str());
        return 1;
    }
    const orvo::IdTextSpans ids = source.idTextSpans();
    std::printf("%llu nodes, %zu labels, name index: %s\n",
                static_cast<unsigned long long>(source.nodeCount()), ids.labels.size(),
                source.hasNameIndex() ? "yes" : source.nameIndexNote().c_str());
    if (!source.hasNameIndex()) return 1;

    const std::string middle(ids.idOf(ids.nodes / 2));
    const std::string late(ids.idOf(ids.nodes - 7));
    std::string folder;  // the first folder id after the middle
    for (size_t i = ids.nodes / 2; i < ids.nodes && folder.empty(); ++i)
        if (ids.idOf(i).ends_with("/")) folder = ids.idOf(i);
    std::string labelWord;
    if (!ids.labels.empty()) {
        const std::string_view label = ids.labels[ids.labels.size() / 2].second;
        labelWord = label.substr(0, label.find(' '));
    }
    std::vector<std::pair<const char*, std::string>> queries{
        {"a whole id", middle},
        {"a whole id, upper case", [&] {
             std::string q = late;
             for (char& c : q) c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
             return q;
         }()},
        {"a page's name", std::string(orvo::shortLabelOf(middle).substr(1))},
        {"a folder's path", std::string(orvo::pathLabelOf(folder))},
        {"a folder's name", [&] {
             const std::string_view path = orvo::pathLabelOf(folder);
             const std::string_view trimmed = path.substr(0, path.size() - 1);
             return std::string(trimmed.substr(trimmed.rfind('/') + 1));
         }()},
        {"a label's first word", labelWord},
        {"no id holds it", "zzzz-none"},
    };
    for (int i = 2; i < argc; ++i) queries.emplace_back("given", argv[i]);
    std::printf("Find from the index, cold then warm (best %zu):\n", kShown);
    for (const auto& [kind, q] : queries) {
        if (q.empty()) continue;
        double ms[2];
        std::optional<orvo::IndexedFind> found;
        source.letGo();
        for (double& m : ms) {
            const auto start = Clock::now();
            found = source.findByNames(ids, q, kShown);
            m = millisecondsSince(start);
        }
        std::printf("  %-24s %8.2f %8.2f ms  %zu exact, %zu found%s\n", kind, ms[0], ms[1],
                    found->exact, found->result.total,
                    found->isWholeSearchsBest(1) ? " (the best hit is the whole search's)" : "");
    }
    for (const std::string& id : {middle, late, std::string("http://nowhere/none")}) {
        auto start = Clock::now();
        const int64_t m = source.findNode(id);
        const double indexed = millisecondsSince(start);
        start = Clock::now();
        int64_t scanned = -1;
        for (size_t i = 0; i < ids.nodes && scanned < 0; ++i)
            if (ids.idOf(i) == id) scanned = int64_t(i);
        std::printf("  findNode %-12lld %8.3f ms; the scan over the ids %9.1f ms%s\n",
                    static_cast<long long>(m), indexed, millisecondsSince(start),
                    m == scanned ? "" : " DIFFERENT");
        source.letGo();
    }
    std::printf("  peak resident %.0f MiB\n",
                double(orvo::bench::peakResidentBytes()) / (1 << 20));
    return 0;
}
