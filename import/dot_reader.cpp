// DOT files, read with Graphviz's own graph library. Its parser keeps global state, so reads are
// serialised.
#include <graphviz/cgraph.h>
#include <unistd.h>

#include <boost/unordered/unordered_flat_set.hpp>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "import/edge_graph.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

std::mutex gCgraphLock;
std::string gCgraphErrors;  // guarded by gCgraphLock

int collectError(char* message) {
    if (message != nullptr) gCgraphErrors += message;
    return 0;
}

std::string firstLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (const size_t newline = text.find('\n'); newline != std::string::npos) text.resize(newline);
    return text;
}

struct GraphCloser {
    void operator()(Agraph_t* g) const { agclose(g); }
};

// What the parser reads: the file until the import is cancelled, then an end of file. A parse
// under way (the first graph's or a later one's) thus ends soon after a cancel, and leaves the
// parser as a file read to its end does, ready for the next file.
struct CancellableSource {
    FILE* in;
    const ImportProgress& progress;
};

ssize_t readUnlessCancelled(void* cookie, char* buffer, size_t size) {
    const auto* source = static_cast<CancellableSource*>(cookie);
    if (source->progress.cancelled()) return 0;
    // What is there now, not a whole buffer: a pipe's writer may take its time.
    if (const int fd = ::fileno(source->in); fd >= 0) {
        ssize_t got = ::read(fd, buffer, size);
        while (got < 0 && errno == EINTR && !source->progress.cancelled())
            got = ::read(fd, buffer, size);
        return source->progress.cancelled() ? 0 : got;
    }
    const size_t got = std::fread(buffer, 1, size, source->in);
    return got == 0 && std::ferror(source->in) ? -1 : static_cast<ssize_t>(got);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

ImportResult importDot(const std::string& file, const ImportOptions& options, std::ostream& out,
                       const ImportProgress& progress) {
    ImportResult result;
    EdgeGraph graph;
    {
        std::lock_guard lock(gCgraphLock);
        InputFile input;
        FILE* opened = input.open(file) ? input.cStream() : nullptr;
        if (opened == nullptr) {
            result.error =
                file + ": " + (input.error().empty() ? "cannot be opened" : input.error());
            return result;
        }
        CancellableSource source{opened, progress};
        const std::unique_ptr<FILE, FileCloser> reading(
            fopencookie(&source, "r", {readUnlessCancelled, nullptr, nullptr, nullptr}));
        FILE* in = reading.get();
        if (in == nullptr) {
            result.error = file + ": cannot be opened";
            return result;
        }
        progress(0, 0, "reading");
        gCgraphErrors.clear();
        agseterr(AGERR);
        agseterrf(collectError);
        agreadline(1);  // the line count is global: every file starts at its first line
        std::unique_ptr<Agraph_t, GraphCloser> g(agread(in, nullptr));
        // The parser's line count is only right for the next file once this one is read to its
        // end: the graphs after the first are read and dropped.
        int moreGraphs = 0;
        while (g) {
            Agraph_t* more = agread(in, nullptr);
            if (more == nullptr) break;
            agclose(more);
            ++moreGraphs;
        }
        agseterrf(nullptr);
        if (progress.cancelled()) {
            result.cancelled = true;
            return result;
        }
        if (!g) {
            const std::string message = firstLine(gCgraphErrors);
            result.error = file + ": " + (message.empty() ? "not a DOT graph" : message);
            return result;
        }
        if (!gCgraphErrors.empty()) addWarning(result, file + ": " + firstLine(gCgraphErrors));
        if (moreGraphs > 0) {
            addWarning(result, file + ": only the first of its " + std::to_string(moreGraphs + 1) +
                                   " graphs is read");
        }
        const bool undirected = !agisdirected(g.get());
        Agsym_t* groupAttribute = nullptr;
        if (options.group.empty()) {
            // Without --group the first node attribute holding a few values gives the groups.
            size_t looked = 0;
            for (Agsym_t* a = agnxtattr(g.get(), AGNODE, nullptr);
                 a != nullptr && groupAttribute == nullptr && looked++ < kAttributesLookedAt;
                 a = agnxtattr(g.get(), AGNODE, a)) {
                boost::unordered_flat_set<std::string_view> values;
                size_t given = 0;
                for (Agnode_t* n = agfstnode(g.get());
                     n != nullptr && values.size() <= kMostFoundGroups; n = agnxtnode(g.get(), n)) {
                    if (const char* value = agxget(n, a); *value != '\0') {
                        values.insert(value);
                        ++given;
                    }
                }
                if (areFoundGroups(values.size(), given)) groupAttribute = a;
            }
        } else if (options.group != "none") {
            groupAttribute =
                agattr(g.get(), AGNODE, const_cast<char*>(options.group.c_str()), nullptr);
            if (groupAttribute == nullptr) {
                result.error = "--group " + options.group + ": no node attribute of " + file +
                               " has this name";
                return result;
            }
        }
        // No record can carry an empty id: a node named "" is left out, as are its edges.
        const auto unnamed = [](Agnode_t* n) { return *agnameof(n) == '\0'; };
        if (groupAttribute != nullptr) result.groupedBy = groupAttribute->name;
        for (Agnode_t* n = agfstnode(g.get()); n != nullptr; n = agnxtnode(g.get(), n)) {
            if (unnamed(n)) {
                addWarning(result, file + ": the node named \"\" is left out, with its edges");
                continue;
            }
            const auto index = graph.node(agnameof(n));
            if (groupAttribute != nullptr) graph.setGroupIfUnset(index, agxget(n, groupAttribute));
        }
        for (Agnode_t* n = agfstnode(g.get()); n != nullptr; n = agnxtnode(g.get(), n)) {
            for (Agedge_t* e = agfstout(g.get(), n); e != nullptr; e = agnxtout(g.get(), e)) {
                if (unnamed(agtail(e)) || unnamed(aghead(e))) continue;
                graph.addEdge(graph.node(agnameof(agtail(e))), graph.node(agnameof(aghead(e))),
                              undirected);
            }
            if (progress.cancelled()) {
                result.cancelled = true;
                return result;
            }
        }
    }
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo
