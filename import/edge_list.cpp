// Edge lists: comma- or tab-separated, quoted fields as RFC 4180 has them (a field in double
// quotes may hold separators, line breaks and doubled quotes), the first two columns from and to.
#include <array>
#include <boost/unordered/unordered_flat_set.hpp>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>

#include "import/csv_records.h"
#include "import/edge_graph.h"
#include "import/file_text.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

constexpr size_t kPendingRecords = 256;

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

ImportResult importEdgeList(const std::string& file, const ImportOptions& options,
                            std::ostream& out, const ImportProgress& progress) {
    ImportResult result;
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return result;
    std::string text = readRest(input);
    if (input.stream().bad()) {
        result.error = file + ": " + (input.error().empty() ? "read error" : input.error());
        return result;
    }
    if (options.header != "yes" && options.header != "no" && options.header != "auto") {
        result.error = "--header " + options.header + ": must be yes, no or auto";
        return result;
    }

    const char separator = edgeListSeparator(file, text);

    // The group column: a 1-based number, or a name looked up in the first record.
    size_t groupColumn = SIZE_MAX;
    bool groupByName = false;
    // Without --group a third column becomes the group when it holds between 2 and 64 values:
    // a kind, a section, a type; more are names or numbers, and colour nothing.
    const bool groupFound = options.group.empty();
    boost::unordered_flat_set<std::string> groupValues;
    std::string firstGroup;
    std::string thirdOfFirst;  // the first line's third field, the column's name in a header
    const auto countGroup = [&](std::span<const std::string> fields) {
        if (groupFound && fields.size() > 2 && !fields[2].empty() &&
            groupValues.size() <= kMostFoundGroups) {
            groupValues.insert(fields[2]);
        }
    };
    if (groupFound) {
        groupColumn = 2;
    } else if (options.group == "none") {
    } else {
        if (allDigits(options.group)) {
            size_t number = 0;
            std::from_chars(options.group.data(), options.group.data() + options.group.size(),
                            number);
            if (number == 0) {
                result.error = "--group " + options.group + ": columns are counted from 1";
                return result;
            }
            groupColumn = number - 1;
        } else {
            groupByName = true;
        }
    }

    EdgeGraph graph;
    // Room for an edge a line, and for a node every other line: most edge lists have more edges
    // than nodes, and the id table, sized for the nodes, would otherwise take twice the room.
    {
        size_t lines = 1;
        for (const char* p = text.data();
             (p = static_cast<const char*>(std::memchr(p, '\n', text.data() + text.size() - p)));
             ++p) {
            ++lines;
        }
        graph.reserve(lines / 2 + 1, lines);
    }
    bool firstRecord = true;
    bool skipFirst = options.header == "yes";
    // With --header auto the first record's ids are created first (so that first-seen order is
    // the file's) and its edge held back until the question is settled.
    bool firstOpen = false;
    EdgeGraph::Index firstFrom = SiteGraph::kNone, firstTo = SiteGraph::kNone;
    bool firstElsewhere = false;
    uint64_t records = 0;
    bool cancelled = false;
    // Records wait in batches, their fields copied, so that their ids are looked up together
    // (the lookups' reads from memory overlap); then each is taken as it came.
    struct Pending {
        size_t from, to, group, end;  // where each field starts in `pendingText`, and the last ends
        bool hasTo, hasGroup;
    };
    std::string pendingText;
    std::vector<Pending> pending;
    std::vector<std::string_view> pendingIds;
    std::vector<EdgeGraph::Index> pendingNodes;
    const auto settle = [&] {
        if (pending.empty()) return;
        pendingIds.clear();
        for (const Pending& p : pending) {
            pendingIds.emplace_back(pendingText.data() + p.from, p.to - p.from);
            if (p.hasTo) pendingIds.emplace_back(pendingText.data() + p.to, p.group - p.to);
        }
        pendingNodes.resize(pendingIds.size());
        graph.graph().internAll(pendingIds, pendingNodes);
        size_t k = 0;
        for (const Pending& p : pending) {
            const auto from = pendingNodes[k++];
            if (p.hasGroup) {
                graph.setGroupIfUnset(
                    from, std::string_view(pendingText.data() + p.group, p.end - p.group));
            }
            if (p.hasTo) {
                const auto to = pendingNodes[k++];
                graph.addEdge(from, to, false);
                if (firstOpen && (to == firstFrom || to == firstTo)) firstElsewhere = true;
            }
            if (firstOpen && (from == firstFrom || from == firstTo)) firstElsewhere = true;
        }
        pending.clear();
        pendingText.clear();
    };
    const auto addRecord = [&](std::span<const std::string> fields, uint64_t line) {
        if (fields[0].empty()) {
            addWarning(result, file + ":" + std::to_string(line) + ": empty first field, left out");
            return;
        }
        countGroup(fields);
        Pending p{};
        p.from = pendingText.size();
        pendingText += fields[0];
        p.to = pendingText.size();
        p.hasTo = fields.size() >= 2 && !fields[1].empty();
        if (p.hasTo) pendingText += fields[1];
        p.group = pendingText.size();
        p.hasGroup = groupColumn < fields.size();
        if (p.hasGroup) pendingText += fields[groupColumn];
        p.end = pendingText.size();
        pending.push_back(p);
        if (pending.size() == kPendingRecords) settle();
    };

    CsvSplitter splitter(text, separator);
    const auto error = splitter.run([&](std::span<const std::string> fields, uint64_t line) {
        if (cancelled) return;
        if (firstRecord) {
            firstRecord = false;
            if (fields.size() > 2) thirdOfFirst = fields[2];
            if (groupByName) {
                for (size_t k = 0; k < fields.size(); ++k) {
                    if (fields[k] == options.group) groupColumn = k;
                }
                if (groupColumn == SIZE_MAX || options.header == "no") {
                    result.error = "--group " + options.group + ": no column of " + file +
                                   " has this name in its first line";
                    cancelled = true;
                    return;
                }
                skipFirst = true;  // a line that names the group column is a header
            }
            if (skipFirst) return;
            if (options.header == "auto" && !fields[0].empty()) {
                firstFrom = graph.node(fields[0]);
                if (groupColumn < fields.size())
                    graph.setGroupIfUnset(firstFrom, fields[groupColumn]);
                if (fields.size() > 2) firstGroup = fields[2];
                if (fields.size() >= 2 && !fields[1].empty()) firstTo = graph.node(fields[1]);
                firstOpen = true;
                return;
            }
        }
        addRecord(fields, line);
        if (++records % 65536 == 0) {
            progress(records, 0, "reading");
            if (progress.cancelled()) cancelled = true;
        }
    });
    settle();
    // The ids are interned: the file's text goes before the tree is built and written, which
    // the viewer reads while this still runs.
    std::string().swap(text);
    if (!result.error.empty()) return result;
    if (error) {
        result.error = file + ":" + std::to_string(error->line) + ": " + error->message;
        return result;
    }
    if (cancelled || progress.cancelled()) {
        result.cancelled = true;
        return result;
    }
    if (firstOpen) {
        // A header when neither of its first two fields is an id anywhere else.
        if (firstElsewhere) {
            if (firstTo != SiteGraph::kNone) graph.prependEdge(firstFrom, firstTo);
            countGroup(std::array<std::string, 3>{"", "", firstGroup});
        } else {
            graph.exclude(firstFrom);
            if (firstTo != SiteGraph::kNone) graph.exclude(firstTo);
        }
    }
    if (groupFound &&
        (groupValues.size() < kFewestFoundGroups || groupValues.size() > kMostFoundGroups)) {
        graph.clearGroups();
    } else if (groupColumn != SIZE_MAX) {
        const bool header = skipFirst || (firstOpen && !firstElsewhere);
        result.groupedBy = header && !thirdOfFirst.empty() && groupColumn == 2 ? thirdOfFirst
                           : groupByName                                       ? options.group
                                         : "column " + std::to_string(groupColumn + 1);
    }
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo
