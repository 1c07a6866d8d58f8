// DOT files, read with Graphviz's own graph library. Its parser keeps global state, so reads are
// serialised.
#include <graphviz/cgraph.h>

#include <boost/unordered/unordered_flat_set.hpp>
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

}  // namespace

ImportResult importDot(const std::string& file, const ImportOptions& options, std::ostream& out,
                       const ImportProgress& progress) {
    ImportResult result;
    EdgeGraph graph;
    {
        std::lock_guard lock(gCgraphLock);
        InputFile input;
        FILE* in = input.open(file) ? input.cStream() : nullptr;
        if (in == nullptr) {
            result.error =
                file + ": " + (input.error().empty() ? "cannot be opened" : input.error());
            return result;
        }
        progress(0, 0, "reading");
        gCgraphErrors.clear();
        agseterr(AGERR);
        agseterrf(collectError);
        agreadline(1);  // the line count is global: every file starts at its first line
        std::unique_ptr<Agraph_t, GraphCloser> g(agread(in, nullptr));
        if (!g) {
            agseterrf(nullptr);
            const std::string message = firstLine(gCgraphErrors);
            result.error = file + ": " + (message.empty() ? "not a DOT graph" : message);
            return result;
        }
        // The parser's line count is only right for the next file once this one is read to its
        // end: the graphs after the first are read and dropped.
        int moreGraphs = 0;
        while (Agraph_t* more = agread(in, nullptr)) {
            agclose(more);
            ++moreGraphs;
        }
        agseterrf(nullptr);
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
