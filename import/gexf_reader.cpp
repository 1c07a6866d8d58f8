// GEXF, read with pugixml: node and edge elements of the graph (nodes nested in nodes included,
// with their labels), the graph's defaultedgetype and an edge's own type over it ("mutual" and
// "undirected" are walked both ways), and --group taken from the attvalues of a node attribute named by its title or id.
// A file whose nodes have no attributes to group by is parsed a run of elements at a time, never
// whole, on a thread of its own while this one looks up the ids; one with such attributes, or one
// that is not plain UTF-8 or not well formed, is parsed as a whole document (which also gives the
// parser's own message for what is wrong with it).
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <boost/unordered/unordered_flat_set.hpp>
#include <chrono>
#include <exception>
#include <pugixml.hpp>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "import/edge_graph.h"
#include "import/file_text.h"
#include "import/id_records.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "import/whole_text.h"
#include "import/xml_runs.h"
#include "memory/regular_file.h"
#include "stream/chunk_pipe.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

std::string_view localName(const pugi::xml_node& node) { return orvo::localName(node.name()); }

struct NodeAttribute {
    std::string id, title, fallback;
};

// The node attributes the graph declares, in their order.
std::vector<NodeAttribute> nodeAttributes(const pugi::xml_node& graph) {
    std::vector<NodeAttribute> found;
    for (const pugi::xml_node list : graph.children()) {
        if (localName(list) != "attributes" ||
            std::string_view(list.attribute("class").as_string()) != "node")
            continue;
        for (const pugi::xml_node a : list.children()) {
            if (localName(a) != "attribute") continue;
            std::string fallback;
            for (const pugi::xml_node d : a.children()) {
                if (localName(d) == "default") fallback = d.text().as_string();
            }
            found.push_back({a.attribute("id").as_string(), a.attribute("title").as_string(),
                             std::move(fallback)});
        }
    }
    return found;
}

// The node's value of the attribute (its attvalue names it by "for", or by "id" in old files).
std::string valueOf(const pugi::xml_node& node, const NodeAttribute& attribute) {
    for (const pugi::xml_node list : node.children()) {
        if (localName(list) != "attvalues") continue;
        for (const pugi::xml_node v : list.children()) {
            const pugi::xml_attribute key =
                v.attribute("for") ? v.attribute("for") : v.attribute("id");
            if (localName(v) == "attvalue" && attribute.id == key.as_string())
                return v.attribute("value").as_string();
        }
    }
    return attribute.fallback;
}

// The 1-based line of a byte of the file, counted in the file as it is (read again, once, for
// the first message that names a line).
class LineFinder {
public:
    explicit LineFinder(const std::string& file) : file_(file) {}
    std::string operator()(uint64_t offset) {
        if (InputFile again; original_.empty() && again.open(file_))
            original_ = readRest(again.stream());
        return std::to_string(lineAt(original_, ptrdiff_t(offset)));
    }

private:
    const std::string& file_;
    std::string original_;
};

// The node and edge elements of the graph into an edge graph (or records of their ids), in
// document order.
template <class Sink>
class GexfItems {
public:
    GexfItems(const std::string& file, const ImportOptions& options, const ImportProgress& progress,
              ImportResult& result, Sink& graph, LineFinder& lines)
        : file_(file),
          options_(options),
          progress_(progress),
          result_(result),
          graph_(graph),
          lines_(lines) {}

    /// Without --group, each of the first few node attributes is a candidate, and the first
    /// whose values are few gives the groups. False, with result.error set, when --group names
    /// none of them.
    bool chooseAttributes(std::vector<NodeAttribute> declared) {
        attributes_ = std::move(declared);
        if (options_.group == "none") {
            attributes_.clear();
        } else if (!options_.group.empty()) {
            const auto named = std::find_if(attributes_.begin(), attributes_.end(), [&](auto& a) {
                return a.title == options_.group || a.id == options_.group;
            });
            if (named == attributes_.end()) {
                result_.error = "--group " + options_.group + ": no node attribute of " + file_ +
                                " has this title or id";
                return false;
            }
            attributes_ = {*named};
        } else if (attributes_.size() > kAttributesLookedAt) {
            attributes_.resize(kAttributesLookedAt);
        }
        values_.assign(attributes_.size(), {});
        given_.assign(attributes_.size(), 0);
        return true;
    }
    /// The elements walked so far.
    uint64_t elements() const { return elements_; }
    void setDefaultEdgeType(std::string_view type) {
        undirectedByDefault_ = type == "undirected" || type == "mutual";
    }

    /// Walks `first`, its siblings after it and, into the graph, its lists of nodes and edges
    /// and nodes, what they hold, in document order through the parent links, without a stack
    /// (nodes may hold nodes to any depth), up to `top`. The elements' offsets in the file are
    /// `base` on from their offsets in the parsed text. False with result.error set, or
    /// cancelled.
    bool walk(pugi::xml_node first, pugi::xml_node top, uint64_t base) {
        const auto where = [&](const pugi::xml_node& node) {
            return file_ + ":" +
                   lines_(base + uint64_t(std::max<ptrdiff_t>(node.offset_debug(), 0))) + ": ";
        };
        const auto warn = [&](const pugi::xml_node& node, const char* what) {
            addWarning(result_, result_.warnings.size() < kMaxWarnings ? where(node) + what : "");
        };
        for (pugi::xml_node item = first; item;) {
            const std::string_view name = localName(item);
            if (name == "node") {
                const pugi::xml_attribute id = item.attribute("id");
                if (!id) {
                    result_.error = where(item) + "<node> without an id";
                    return false;
                }
                if (*id.as_string() == '\0') {
                    warn(item, "<node> with an empty id, left out");
                } else {
                    addNode(id.as_string(), item);
                }
            } else if (name == "edge") {
                const pugi::xml_attribute source = item.attribute("source");
                const pugi::xml_attribute target = item.attribute("target");
                if (!source || !target) {
                    result_.error = where(item) + "<edge> without a source or a target";
                    return false;
                }
                const std::string_view type = item.attribute("type").as_string();
                const bool undirected =
                    type.empty() ? undirectedByDefault_ : type == "undirected" || type == "mutual";
                if (*source.as_string() == '\0' || *target.as_string() == '\0') {
                    warn(item, "<edge> with an empty source or target, left out");
                } else {
                    graph_.addEdge(std::string_view(source.as_string()),
                                   std::string_view(target.as_string()), undirected);
                }
            }
            if (++elements_ % 65536 == 0) {
                progress_(elements_, 0, "reading");
                if (progress_.cancelled()) {
                    result_.cancelled = true;
                    return false;
                }
            }
            if ((name == "node" || name == "nodes" || name == "edges") && item.first_child()) {
                item = item.first_child();
                continue;
            }
            while (!item.next_sibling() && item.parent() != top) item = item.parent();
            item = item.next_sibling();
        }
        return true;
    }

    /// The groups: the attribute --group names, else the first found to hold few values.
    void setGroups() {
        for (size_t a = 0; a < attributes_.size(); ++a) {
            if (options_.group.empty() && !areFoundGroups(values_[a].size(), given_[a])) continue;
            result_.groupedBy =
                attributes_[a].title.empty() ? attributes_[a].id : attributes_[a].title;
            for (const auto& [n, node] : nodes_)
                graph_.setGroupIfUnset(n, valueOf(node, attributes_[a]));
            break;
        }
    }

private:
    void addNode(const char* id, const pugi::xml_node& item) {
        const std::string_view label = item.attribute("label").as_string();
        if constexpr (std::is_same_v<Sink, EdgeGraph>) {
            if (!attributes_.empty()) {
                addNodeWithAttributes(id, item);
                if (!label.empty()) graph_.graph().setLabel(nodes_.back().first, label);
            }
        }
        if (!attributes_.empty()) return;
        if (label.empty()) {
            graph_.addNode(id);
        } else {
            graph_.addNode(id, label);
        }
    }
    void addNodeWithAttributes(const char* id, const pugi::xml_node& item) {
        nodes_.emplace_back(graph_.node(id), item);
        for (size_t a = 0; a < attributes_.size() && options_.group.empty(); ++a) {
            if (values_[a].size() > kMostFoundGroups) continue;
            if (std::string value = valueOf(item, attributes_[a]); !value.empty()) {
                values_[a].insert(std::move(value));
                ++given_[a];
            }
        }
    }

    const std::string& file_;
    const ImportOptions& options_;
    const ImportProgress& progress_;
    ImportResult& result_;
    Sink& graph_;
    LineFinder& lines_;
    std::vector<NodeAttribute> attributes_;
    std::vector<boost::unordered_flat_set<std::string>> values_;
    std::vector<size_t> given_;
    std::vector<std::pair<EdgeGraph::Index, pugi::xml_node>> nodes_;
    bool undirectedByDefault_ = false;
    uint64_t elements_ = 0;
};

// Elements opened rather than parsed whole: the root, its graphs and their lists of nodes and
// edges.
bool opensInGexf(size_t depth, std::string_view name) {
    return depth == 0 || (depth == 1 && name == "graph") ||
           (depth == 2 && (name == "nodes" || name == "edges"));
}

// A start tag's attributes, as an empty element of their own.
bool parseStartTag(std::string_view tag, pugi::xml_document& into) {
    std::string empty(tag);
    empty.insert(empty.size() - 1, "/");
    return bool(into.load_buffer(empty.data(), empty.size(),
                                 pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8));
}

enum class Read { Done, NeedsWholeDocument };

// The reading side of reading in runs: the runs parsed and walked, their ids handed over as
// records through the pipe. What it returns is as readInRuns returns; a cancel ends it (result
// cancelled), and so does a reader that stops taking the records.
Read produceRecords(const std::string& file, const ImportOptions& options,
                    const std::atomic<bool>* cancel, InputFile& input, ChunkPipe& pipe,
                    ImportResult& result, LineFinder& lines) {
    ImportProgress quiet;  // the graph's side reports
    quiet.cancel = cancel;
    ChunkPipe::Chunk chunk = pipe.freshChunk();
    IdRecords records;
    records.setChunk(chunk);
    GexfItems<IdRecords> items(file, options, quiet, result, records, lines);
    items.chooseAttributes({});
    XmlRuns runs(input.stream(), opensInGexf);
    pugi::xml_document doc;
    bool graphSeen = false, inGraph = false;
    while (true) {
        const XmlRuns::Event event = runs.next();
        switch (event.kind) {
            case XmlRuns::Event::Unsure:
                return Read::NeedsWholeDocument;
            case XmlRuns::Event::End:
                if (!graphSeen) return Read::NeedsWholeDocument;
                pipe.push(std::move(chunk));
                return Read::Done;
            case XmlRuns::Event::Open:
                if (event.depth == 0 && !parseStartTag(event.tag, doc))
                    return Read::NeedsWholeDocument;
                if (event.depth == 0 && localName(doc.first_child()) != "gexf")
                    return Read::NeedsWholeDocument;
                if (event.depth == 1 && !graphSeen) {
                    if (!parseStartTag(event.tag, doc)) return Read::NeedsWholeDocument;
                    items.setDefaultEdgeType(
                        doc.first_child().attribute("defaultedgetype").as_string());
                    graphSeen = inGraph = true;
                }
                break;
            case XmlRuns::Event::Close:
                if (event.depth == 1) inGraph = false;
                break;
            case XmlRuns::Event::Run: {
                // Parsed in place, which the run allows; what lies outside the graph is parsed
                // only to find what is wrong with it.
                if (!doc.load_buffer_inplace(event.text, event.size,
                                             pugi::parse_default | pugi::parse_fragment,
                                             pugi::encoding_utf8))
                    return Read::NeedsWholeDocument;
                if (!inGraph) break;
                for (const pugi::xml_node child : doc.children()) {
                    if (event.depth == 2 && localName(child) == "attributes" &&
                        std::string_view(child.attribute("class").as_string()) == "node" &&
                        options.group != "none")
                        return Read::NeedsWholeDocument;
                }
                if (!items.walk(doc.first_child(), doc, event.offset))
                    return result.cancelled ? Read::Done : Read::NeedsWholeDocument;
                records.readTo(event.offset + event.size);
                if (chunk.size() >= pipe.chunkBytes()) {
                    if (!pipe.push(std::move(chunk))) return Read::Done;
                    chunk = pipe.freshChunk();
                    records.setChunk(chunk);
                }
                break;
            }
        }
    }
}

// The graph read a run of elements at a time: the runs are parsed on a thread of their own while
// this one looks up the ids they name. Done with result.error set or cancelled too; the whole
// document is needed where the file's nodes have attributes to group by, or the runs do not
// follow (see XmlRuns), or something in the file is refused (its message is the whole document's
// to give).
Read readInRuns(const std::string& file, const ImportOptions& options,
                const ImportProgress& progress, EdgeGraph& graph, ImportResult& result,
                LineFinder& lines) {
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return Read::Done;
    // A compressed file's size is what its trailer says, which nothing checks before the end:
    // only a plain file's sizes the graph.
    const uint64_t expected = input.compressed() ? 0 : input.expectedSize();
    ChunkPipe pipe(size_t{1} << 18, 4);
    // Written by the other thread, read here once it has ended; so are result and lines.
    Read outcome = Read::NeedsWholeDocument;
    std::thread parsing([&] {
        try {
            outcome = produceRecords(file, options, progress.cancel, input, pipe, result, lines);
        } catch (const std::exception&) {
            outcome = Read::NeedsWholeDocument;  // whose own reading says what went wrong
        }
        pipe.closeWriter();
    });
    // The other thread is stopped and waited for however this one leaves.
    struct Ending {
        ChunkPipe& pipe;
        std::thread& thread;
        void now() {
            pipe.closeReader();
            if (thread.joinable()) thread.join();
        }
        ~Ending() { now(); }
    } ending{pipe, parsing};

    ChunkPipe::Chunk chunk;
    uint64_t elements = 0, readTo = 0;
    bool reserved = false, cancelled = false;
    while (!cancelled) {
        const ChunkPipe::Take took = pipe.take(chunk, std::chrono::milliseconds(100));
        if (took == ChunkPipe::Take::End) break;
        if (took == ChunkPipe::Take::Chunk) {
            elements += IdRecords::replay(chunk, graph, readTo);
            progress(elements, 0, "reading");
            // Room for the nodes and edges once a first stretch of the graph tells how many the
            // whole file holds: an edge an element, and a node every other element (most graphs
            // have more edges than nodes, and the id table, sized for the nodes, would otherwise
            // take twice the room).
            if (!reserved && expected > 0 && readTo >= (uint64_t{1} << 18)) {
                reserved = true;
                const uint64_t estimate = elements * (expected / readTo + 1);
                graph.reserve(size_t(estimate / 2 + 1), size_t(estimate));
            }
        }
        cancelled = progress.cancelled();
    }
    ending.now();
    if (cancelled) {
        result.cancelled = true;
        return Read::Done;
    }
    return outcome;
}

// The graph read from the whole document, parsed at once.
void readWhole(const std::string& file, const ImportOptions& options,
               const ImportProgress& progress, EdgeGraph& graph, ImportResult& result,
               LineFinder& lines) {
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return;
    WholeText text;
    if (!text.read(input.stream())) {
        result.error = file + ": " + input.error();
        return;
    }
    // Parsed in place (the document points into the text, rewritten).
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer_inplace(text.data(), text.size());
    if (!parsed) {
        result.error = file + ":" + lines(uint64_t(std::max<ptrdiff_t>(parsed.offset, 0))) +
                       ": malformed XML: " + parsed.description();
        return;
    }
    const pugi::xml_node top = doc.document_element();
    const pugi::xml_node graphElement =
        top.find_child([](const pugi::xml_node& n) { return localName(n) == "graph"; });
    if (localName(top) != "gexf" || !graphElement) {
        result.error = file + ": not GEXF (the root element is <" + top.name() +
                       (localName(top) == "gexf" ? "> without a <graph>)" : ">)");
        return;
    }
    GexfItems<EdgeGraph> items(file, options, progress, result, graph, lines);
    if (!items.chooseAttributes(nodeAttributes(graphElement))) return;
    // Room for the nodes and edges of the graph's top level, so that neither the id table nor
    // the edges are moved again and again as they grow.
    size_t nodesDeclared = 0, edgesDeclared = 0;
    for (const pugi::xml_node list : graphElement.children()) {
        const size_t count = size_t(std::distance(list.begin(), list.end()));
        if (localName(list) == "nodes") nodesDeclared += count;
        if (localName(list) == "edges") edgesDeclared += count;
    }
    graph.reserve(nodesDeclared, edgesDeclared);
    items.setDefaultEdgeType(graphElement.attribute("defaultedgetype").as_string());
    if (!items.walk(graphElement.first_child(), graphElement, 0)) return;
    items.setGroups();
    // The ids are interned: the document and the text go before the tree is built and written.
    graph.flushEdges();
    doc.reset();
    text.release();
    // The document came in many small blocks, which the allocator keeps for the process; they
    // are handed back before the tree and the viewer's graph take their room.
    ::malloc_trim(0);
}

}  // namespace

ImportResult importGexf(const std::string& file, const ImportOptions& options, std::ostream& out,
                        const ImportProgress& progress) {
    LineFinder lines(file);
    // Only a regular file can be read again as a whole document where the runs do not do.
    if ((options.group.empty() || options.group == "none") && isRegularFile(file)) {
        ImportResult result;
        EdgeGraph graph;
        if (readInRuns(file, options, progress, graph, result, lines) == Read::Done) {
            if (!result.error.empty() || result.cancelled) return result;
            if (!graph.build(options.root, options.direction, file, result)) return result;
            return finishRead(graph.write(out, progress, result), progress, result);
        }
    }
    ImportResult result;
    EdgeGraph graph;
    readWhole(file, options, progress, graph, result, lines);
    if (!result.error.empty() || result.cancelled) return result;
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo
