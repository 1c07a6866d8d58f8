// GEXF, read with pugixml: node and edge elements of the graph (nodes nested in nodes included),
// the graph's defaultedgetype and an edge's own type over it ("mutual" and "undirected" are walked
// both ways), and --group taken from the attvalues of a node attribute named by its title or id.
#include <malloc.h>

#include <algorithm>
#include <boost/unordered/unordered_flat_set.hpp>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "import/edge_graph.h"
#include "import/file_text.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "import/whole_text.h"
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

}  // namespace

ImportResult importGexf(const std::string& file, const ImportOptions& options, std::ostream& out,
                        const ImportProgress& progress) {
    ImportResult result;
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return result;
    WholeText text;
    if (!text.read(input.stream())) {
        result.error = file + ": " + input.error();
        return result;
    }
    // Parsed in place (the document points into the text, rewritten); the line of an offset is
    // counted in the file as it is, read again for the first message that names one.
    std::string original;
    const auto lineOf = [&](ptrdiff_t offset) {
        if (InputFile again; original.empty() && again.open(file))
            original = readRest(again.stream());
        return std::to_string(lineAt(original, std::max<ptrdiff_t>(offset, 0)));
    };
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer_inplace(text.data(), text.size());
    if (!parsed) {
        result.error =
            file + ":" + lineOf(parsed.offset) + ": malformed XML: " + parsed.description();
        return result;
    }
    const pugi::xml_node top = doc.document_element();
    const pugi::xml_node graphElement =
        top.find_child([](const pugi::xml_node& n) { return localName(n) == "graph"; });
    if (localName(top) != "gexf" || !graphElement) {
        result.error = file + ": not GEXF (the root element is <" + top.name() +
                       (localName(top) == "gexf" ? "> without a <graph>)" : ">)");
        return result;
    }
    const auto where = [&](const pugi::xml_node& node) {
        return file + ":" + lineOf(node.offset_debug()) + ": ";
    };
    const auto warn = [&](const pugi::xml_node& node, const char* what) {
        addWarning(result, result.warnings.size() < kMaxWarnings ? where(node) + what : "");
    };

    // Without --group, each of the first few node attributes is a candidate, and the first whose
    // values are few gives the groups.
    std::vector<NodeAttribute> attributes = nodeAttributes(graphElement);
    if (options.group == "none") {
        attributes.clear();
    } else if (!options.group.empty()) {
        const auto named = std::find_if(attributes.begin(), attributes.end(), [&](auto& a) {
            return a.title == options.group || a.id == options.group;
        });
        if (named == attributes.end()) {
            result.error = "--group " + options.group + ": no node attribute of " + file +
                           " has this title or id";
            return result;
        }
        attributes = {*named};
    } else if (attributes.size() > kAttributesLookedAt) {
        attributes.resize(kAttributesLookedAt);
    }
    std::vector<boost::unordered_flat_set<std::string>> values(attributes.size());
    std::vector<size_t> given(attributes.size());
    std::vector<std::pair<EdgeGraph::Index, pugi::xml_node>> nodes;

    EdgeGraph graph;
    // Room for the nodes and edges of the graph's top level, so that neither the id table nor
    // the edges are moved again and again as they grow.
    size_t nodesDeclared = 0, edgesDeclared = 0;
    for (const pugi::xml_node list : graphElement.children()) {
        const size_t count = size_t(std::distance(list.begin(), list.end()));
        if (localName(list) == "nodes") nodesDeclared += count;
        if (localName(list) == "edges") edgesDeclared += count;
    }
    graph.reserve(nodesDeclared, edgesDeclared);
    const std::string_view edgeType = graphElement.attribute("defaultedgetype").as_string();
    const bool undirectedByDefault = edgeType == "undirected" || edgeType == "mutual";
    // Document order through the parent links, without a stack (nodes may hold nodes to any
    // depth): into the graph, its lists of nodes and edges, and nodes.
    uint64_t elements = 0;
    for (pugi::xml_node item = graphElement.first_child(); item;) {
        const std::string_view name = localName(item);
        if (name == "node") {
            const pugi::xml_attribute id = item.attribute("id");
            if (!id) {
                result.error = where(item) + "<node> without an id";
                return result;
            }
            if (*id.as_string() == '\0') {
                warn(item, "<node> with an empty id, left out");
            } else {
                if (attributes.empty()) {
                    graph.addNode(id.as_string());
                } else {
                    nodes.emplace_back(graph.node(id.as_string()), item);
                }
                for (size_t a = 0; a < attributes.size() && options.group.empty(); ++a) {
                    if (values[a].size() > kMostFoundGroups) continue;
                    if (std::string value = valueOf(item, attributes[a]); !value.empty()) {
                        values[a].insert(std::move(value));
                        ++given[a];
                    }
                }
            }
        } else if (name == "edge") {
            const pugi::xml_attribute source = item.attribute("source");
            const pugi::xml_attribute target = item.attribute("target");
            if (!source || !target) {
                result.error = where(item) + "<edge> without a source or a target";
                return result;
            }
            const std::string_view type = item.attribute("type").as_string();
            const bool undirected =
                type.empty() ? undirectedByDefault : type == "undirected" || type == "mutual";
            if (*source.as_string() == '\0' || *target.as_string() == '\0') {
                warn(item, "<edge> with an empty source or target, left out");
            } else {
                graph.addEdge(std::string_view(source.as_string()),
                              std::string_view(target.as_string()), undirected);
            }
        }
        if (++elements % 65536 == 0) {
            progress(elements, 0, "reading");
            if (progress.cancelled()) {
                result.cancelled = true;
                return result;
            }
        }
        if ((name == "node" || name == "nodes" || name == "edges") && item.first_child()) {
            item = item.first_child();
            continue;
        }
        while (!item.next_sibling() && item.parent() != graphElement) item = item.parent();
        item = item.next_sibling();
    }
    // The groups: the attribute --group names, else the first found to hold few values.
    for (size_t a = 0; a < attributes.size(); ++a) {
        if (options.group.empty() && !areFoundGroups(values[a].size(), given[a])) continue;
        for (const auto& [n, node] : nodes) graph.setGroupIfUnset(n, valueOf(node, attributes[a]));
        break;
    }
    // The ids are interned: the document and the text go before the tree is built and written.
    graph.flushEdges();
    doc.reset();
    text.release();
    // The document came in many small blocks, which the allocator keeps for the process; they
    // are handed back before the tree and the viewer's graph take their room.
    ::malloc_trim(0);
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo
