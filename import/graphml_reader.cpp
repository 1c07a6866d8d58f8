// GraphML, read with pugixml: node and edge elements anywhere under graphml (nested graphs
// included), edgedefault per graph, an edge's own directed attribute over it, --group taken
// from the data of a key named by its attr.name or its id, and the nodes' labels from the data
// of the key named label (or name).
#include <algorithm>
#include <boost/unordered/unordered_flat_set.hpp>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "import/edge_graph.h"
#include "import/file_text.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

ImportResult importGraphMl(const std::string& file, const ImportOptions& options, std::ostream& out,
                           const ImportProgress& progress) {
    ImportResult result;
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return result;
    std::string text = readRest(input.stream());
    if (input.stream().bad()) {
        result.error = file + ": " + input.error();
        return result;
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
    if (!parsed) {
        result.error = file + ":" + std::to_string(lineAt(text, parsed.offset)) +
                       ": malformed XML: " + parsed.description();
        return result;
    }
    const pugi::xml_node top = doc.document_element();
    if (localName(top.name()) != "graphml") {
        result.error = file + ": not GraphML (the root element is <" + top.name() + ">)";
        return result;
    }
    const auto where = [&](const pugi::xml_node& node) {
        return file + ":" + std::to_string(lineAt(text, node.offset_debug())) + ": ";
    };

    // The key that holds the group, and its default. Without --group, each of the first few
    // node keys is a candidate, and the first whose values are few gives the groups.
    std::string groupKey, groupDefault;
    struct Candidate {
        std::string key, name, fallback;  // the key's id, attr.name (else id), default
        boost::unordered_flat_set<std::string> values;
        size_t given = 0;  // nodes with a value
    };
    std::vector<Candidate> candidates;
    std::vector<std::pair<EdgeGraph::Index, pugi::xml_node>> candidateNodes;
    const auto defaultOf = [](const pugi::xml_node& key) {
        for (const pugi::xml_node d : key.children()) {
            if (localName(d.name()) == "default") return std::string(d.text().as_string());
        }
        return std::string();
    };
    const auto valueOf = [](const pugi::xml_node& node, const std::string& key,
                            const std::string& fallback) {
        std::string value = fallback;
        for (const pugi::xml_node d : node.children()) {
            if (localName(d.name()) == "data" && key == d.attribute("key").as_string()) {
                value = d.text().as_string();
            }
        }
        return value;
    };
    if (options.group.empty()) {
        for (const pugi::xml_node key : top.children()) {
            if (localName(key.name()) != "key" || candidates.size() == kAttributesLookedAt)
                continue;
            const std::string_view domain = key.attribute("for").as_string("all");
            if (domain == "node" || domain == "all") {
                candidates.push_back(
                    {key.attribute("id").as_string(),
                     key.attribute("attr.name").as_string(key.attribute("id").as_string()),
                     defaultOf(key),
                     {}});
            }
        }
    } else if (options.group != "none") {
        for (const pugi::xml_node key : top.children()) {
            if (localName(key.name()) != "key") continue;
            const std::string_view domain = key.attribute("for").as_string("all");
            if (domain != "node" && domain != "all") continue;
            if (options.group == key.attribute("attr.name").as_string() ||
                options.group == key.attribute("id").as_string()) {
                groupKey = key.attribute("id").as_string();
                groupDefault = defaultOf(key);
                result.groupedBy = options.group;
                break;
            }
        }
        if (groupKey.empty()) {
            result.error =
                "--group " + options.group + ": no node key of " + file + " has this name or id";
            return result;
        }
    }

    // The key of the nodes' labels: the node key named "label", else the one named "name".
    std::string labelKey;
    for (const std::string_view wanted : {"label", "name"}) {
        for (const pugi::xml_node key : top.children()) {
            const std::string_view domain = key.attribute("for").as_string("all");
            if (localName(key.name()) == "key" && (domain == "node" || domain == "all") &&
                wanted == key.attribute("attr.name").as_string()) {
                labelKey = key.attribute("id").as_string();
                break;
            }
        }
        if (!labelKey.empty()) break;
    }

    EdgeGraph graph;
    // Document order with an explicit stack; each entry carries its graph's edge default.
    struct Item {
        pugi::xml_node node;
        bool undirected;
    };
    std::vector<Item> stack{{top, false}};
    std::vector<Item> children;
    uint64_t elements = 0;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        const std::string_view name = localName(item.node.name());
        bool undirected = item.undirected;
        if (name == "graph") {
            const std::string_view edgeDefault = item.node.attribute("edgedefault").as_string();
            if (!edgeDefault.empty()) undirected = edgeDefault == "undirected";
        } else if (name == "node") {
            const pugi::xml_attribute id = item.node.attribute("id");
            if (!id) {
                result.error = where(item.node) + "<node> without an id";
                return result;
            }
            if (*id.as_string() == '\0') {
                // No record can carry an empty id: the node is left out, as are its edges.
                addWarning(result, where(item.node) + "<node> with an empty id, left out");
            } else {
                const auto n = graph.node(id.as_string());
                if (!labelKey.empty()) graph.graph().setLabel(n, valueOf(item.node, labelKey, {}));
                if (!groupKey.empty()) {
                    graph.setGroupIfUnset(n, valueOf(item.node, groupKey, groupDefault));
                } else if (!candidates.empty()) {
                    candidateNodes.emplace_back(n, item.node);
                    for (Candidate& c : candidates) {
                        if (c.values.size() > kMostFoundGroups) continue;
                        if (std::string value = valueOf(item.node, c.key, c.fallback);
                            !value.empty()) {
                            c.values.insert(std::move(value));
                            ++c.given;
                        }
                    }
                }
            }
        } else if (name == "edge") {
            const pugi::xml_attribute source = item.node.attribute("source");
            const pugi::xml_attribute target = item.node.attribute("target");
            if (!source || !target) {
                result.error = where(item.node) + "<edge> without a source or a target";
                return result;
            }
            bool edgeUndirected = undirected;
            if (const pugi::xml_attribute directed = item.node.attribute("directed")) {
                edgeUndirected = !directed.as_bool();
            }
            if (*source.as_string() == '\0' || *target.as_string() == '\0') {
                addWarning(result,
                           where(item.node) + "<edge> with an empty source or target, left out");
            } else {
                graph.addEdge(graph.node(source.as_string()), graph.node(target.as_string()),
                              edgeUndirected);
            }
        } else if (name == "hyperedge") {
            addWarning(result, where(item.node) + "hyperedges are not read");
        }
        if (++elements % 65536 == 0) {
            progress(elements, 0, "reading");
            if (progress.cancelled()) {
                result.cancelled = true;
                return result;
            }
        }
        if (name == "data" || name == "key" || name == "desc" || name == "default") continue;
        children.clear();
        for (const pugi::xml_node child : item.node.children()) {
            if (child.type() == pugi::node_element) children.push_back({child, undirected});
        }
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    // The groups found are read from the document while it is still there.
    for (const Candidate& c : candidates) {
        if (!areFoundGroups(c.values.size(), c.given)) continue;
        result.groupedBy = c.name;
        for (const auto& [n, node] : candidateNodes) {
            graph.setGroupIfUnset(n, valueOf(node, c.key, c.fallback));
        }
        break;
    }
    // The ids are interned: the document and the file's text go before the tree is built and
    // written, which the viewer reads while this still runs.
    doc.reset();
    std::string().swap(text);
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo
