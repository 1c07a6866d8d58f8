// JSON node-link graphs, read with simdjson's On Demand parser over the whole text in three
// shapes: {"nodes":[{"id":…}],"links":[{"source":…,"target":…}]} with an optional "directed"
// (undirected without it); {"nodes":[{"key":…}],"edges":[…]} with "options":{"type":…} (directed
// unless "undirected", or an edge's own "undirected"), node fields in "attributes"; and
// {"elements":{"nodes":[{"data":{…}}],"edges":[{"data":{…}}]}} (directed). The text is walked
// twice: first the nodes (with a "label", else a "name", as their labels) and the graph's
// direction, then the edges and the groups found.
#include <simdjson.h>

#include <algorithm>
#include <array>
#include <boost/unordered/unordered_flat_set.hpp>
#include <charconv>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "import/edge_graph.h"
#include "import/file_text.h"
#include "import/readers.h"
#include "import/warnings.h"
#include "import/whole_text.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

namespace od = simdjson::ondemand;

// What the file holds that is not a graph of this kind; thrown and caught within one read only.
struct Refusal {
    std::string what;
};

std::string_view trimmed(std::string_view raw) {
    while (!raw.empty() &&
           (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\n' || raw.back() == '\r')) {
        raw.remove_suffix(1);
    }
    return raw;
}

// A scalar as text: a string unescaped (taken from the text itself when it holds no escape), a
// number or a boolean as written; nullopt for anything else.
std::optional<std::string_view> scalarText(od::value value) {
    switch (value.type()) {
        case od::json_type::string: {
            const std::string_view raw = trimmed(value.raw_json_token());
            if (raw.size() >= 2 && raw.find('\\') == std::string_view::npos)
                return raw.substr(1, raw.size() - 2);
            return std::string_view(value.get_string());
        }
        case od::json_type::number:
        case od::json_type::boolean:
            return trimmed(value.raw_json_token());
        default:
            return std::nullopt;
    }
}

// Where a value first nests deeper than `limit` (npos when none does). The On Demand parser skips
// what is not asked for without recursion but also without its depth limit: the limit is kept
// here, for the whole text.
size_t tooDeepAt(std::string_view text, size_t limit) {
    size_t depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            // To the closing quote: the first one after an even number of backslashes.
            do {
                const void* quote = std::memchr(text.data() + i + 1, '"', text.size() - i - 1);
                if (quote == nullptr) return std::string_view::npos;
                i = size_t(static_cast<const char*>(quote) - text.data());
                size_t backslashes = 0;
                while (text[i - 1 - backslashes] == '\\') ++backslashes;
                if (backslashes % 2 == 0) break;
            } while (true);
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return i;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::string_view::npos;
}

class JsonGraphReader {
public:
    JsonGraphReader(const std::string& file, const ImportOptions& options,
                    const ImportProgress& progress, ImportResult& result)
        : file_(file), options_(options), progress_(progress), result_(result) {}

    // Reads the document into `graph`; false with result.error set (or cancelled) when not.
    bool read(WholeText& text, EdgeGraph& graph) {
        graph_ = &graph;
        od::parser parser;
        od::document doc;
        bool iterated = false;
        if (const size_t at = tooDeepAt(text.view(), parser.max_depth());
            at != std::string_view::npos) {
            return refuse(text.view(), at,
                          "nested deeper than " + std::to_string(parser.max_depth()));
        }
        try {
            doc = parser.iterate(
                simdjson::padded_string_view(text.data(), text.size(), text.capacity()));
            iterated = true;
            walk(doc, true);
            if (!shapeFound_) {
                result_.error = file_ + ": not a JSON graph (no \"nodes\" or \"elements\")";
                return false;
            }
            if (!chooseGroupField()) {
                result_.error = "--group " + options_.group + ": no node of " + file_ +
                                " has a value for this field";
                return false;
            }
            doc.rewind();
            walk(doc, false);
        } catch (const simdjson::simdjson_error& e) {
            return refuse(text.view(), iterated ? &doc : nullptr,
                          simdjson::error_message(e.error()));
        } catch (const Refusal& r) {
            return refuse(text.view(), iterated ? &doc : nullptr, r.what);
        } catch (const Cancelled&) {
            result_.cancelled = true;
            return false;
        }
        return true;
    }

private:
    struct Cancelled {};
    struct Candidate {
        std::string field;
        boost::unordered_flat_set<std::string> values;
        size_t given = 0;
    };

    // Names the byte where the document went wrong, when the parser got far enough to say.
    bool refuse(std::string_view text, od::document* doc, std::string_view what) {
        const char* at = nullptr;
        if (doc != nullptr && doc->current_location().get(at) == simdjson::SUCCESS &&
            at >= text.data()) {
            return refuse(text, std::min(text.size(), size_t(at - text.data())), what);
        }
        result_.error = file_ + ": " + std::string(what);
        return false;
    }
    bool refuse(std::string_view text, size_t offset, std::string_view what) {
        const auto line = 1 + std::count(text.begin(), text.begin() + ptrdiff_t(offset), '\n');
        result_.error = file_ + ":" + std::to_string(line) + ": byte " + std::to_string(offset) +
                        ": " + std::string(what);
        return false;
    }

    void walk(od::document& doc, bool first) {
        position_ = 0;
        for (auto field : doc.get_object()) {
            const std::string_view key = field.unescaped_key();
            if (key == "elements") {
                elements_ = shapeFound_ = true;
                for (auto inner : field.value().get_object()) {
                    const std::string_view innerKey = inner.unescaped_key();
                    if (innerKey == "nodes" && (first || groupField_)) nodes(inner.value(), first);
                    if (innerKey == "edges" && !first) edges(inner.value());
                }
            } else if (key == "nodes") {
                shapeFound_ = true;
                if (first || groupField_) nodes(field.value(), first);
            } else if (key == "links" || key == "edges") {
                keyedEdges_ = keyedEdges_ || key == "edges";
                if (!first) edges(field.value());
            } else if (key == "directed" && first) {
                declaredDirected_ = field.value().get_bool().value();
            } else if (key == "options" && first) {
                for (auto option : field.value().get_object()) {
                    if (option.unescaped_key().value() == "type")
                        declaredDirected_ =
                            std::string_view(option.value().get_string()) != "undirected";
                }
            }
        }
    }

    // A node's fields, each given to `field` (name, value): its own (but its id), those of
    // "attributes", or those of "data" for elements. Returns the id, or nullopt without one.
    template <typename Field>
    std::optional<std::string_view> nodeFields(od::object node, Field&& field) {
        std::optional<std::string_view> id;
        // The id is a field of the node itself (of "data" for elements), not of "attributes".
        const auto take = [&](std::string_view name, od::value value, bool idHere) {
            if (idHere && (name == "id" || (name == "key" && !elements_))) {
                id = scalarText(value);
                if (!id) throw Refusal{"a node id that is neither a string nor a number"};
            } else if (const auto text = scalarText(value)) {
                field(name, *text);
            }
        };
        for (auto f : node) {
            const std::string_view name = f.unescaped_key();
            if (name == (elements_ ? "data" : "attributes")) {
                for (auto inner : f.value().get_object())
                    take(inner.unescaped_key(), inner.value(), elements_);
            } else if (!elements_) {
                take(name, f.value(), true);
            }
        }
        return id;
    }

    void nodes(od::value list, bool first) {
        od::array array = list.get_array();
        // Room for every node, so that the id table is not rebuilt again and again as it grows.
        if (first) {
            const size_t nodes = byPosition_.size() + array.count_elements();
            graph_->reserve(nodes, nodes);
        }
        for (auto entry : array) {
            od::object node = entry.get_object();
            if (first) {
                std::vector<std::pair<size_t, std::string>> found;
                std::string_view label, nameField;  // its "label" field, its "name" field
                std::optional<std::string_view> id =
                    nodeFields(node, [&](std::string_view name, std::string_view value) {
                        if (value.empty()) return;
                        if (name == "label" && label.empty()) label = value;
                        if (name == "name" && nameField.empty()) nameField = value;
                        auto c = std::find_if(candidates_.begin(), candidates_.end(),
                                              [&](const Candidate& k) { return k.field == name; });
                        const bool wanted =
                            options_.group.empty()
                                ? candidates_.size() < kAttributesLookedAt
                                : options_.group != "none" && name == options_.group;
                        if (c == candidates_.end() && wanted) {
                            c = candidates_.insert(c, Candidate{std::string(name), {}, 0});
                        }
                        if (c != candidates_.end() && c->values.size() <= kMostFoundGroups)
                            found.emplace_back(c - candidates_.begin(), value);
                    });
                // A node without an id is named by its place, as the edges may name it.
                const std::string place = id ? std::string() : std::to_string(position_);
                if (id && id->empty()) {
                    addWarning(result_, file_ + ": node " + std::to_string(position_) +
                                            " has an empty id and is left out, with its edges");
                    byPosition_.push_back(SiteGraph::kNone);
                } else {
                    if (id) {
                        // Looked up a batch at a time, at the latest when this walk ends.
                        pendingNodes_.push_back(*id);
                        pendingLabels_.push_back(label.empty() ? nameField : label);
                        pendingPositions_.push_back(byPosition_.size());
                        byPosition_.push_back(SiteGraph::kNone);
                        if (pendingNodes_.size() == kNodeBatch) settleNodes();
                    } else {
                        settleNodes();
                        byPosition_.push_back(graph_->node(place));
                        graph_->graph().setLabel(byPosition_.back(),
                                                 label.empty() ? nameField : label);
                    }
                    for (auto& [c, value] : found) {
                        ++candidates_[c].given;
                        candidates_[c].values.insert(std::move(value));
                    }
                }
            } else if (groupField_) {
                std::string_view group;
                nodeFields(node, [&](std::string_view name, std::string_view value) {
                    if (name == *groupField_) group = value;
                });
                if (byPosition_[position_] != SiteGraph::kNone)
                    graph_->setGroupIfUnset(byPosition_[position_], group);
            }
            ++position_;
            tick();
        }
        settleNodes();
    }

    void settleNodes() {
        if (pendingNodes_.empty()) return;
        std::array<SiteGraph::Index, kNodeBatch> found;
        graph_->graph().internAll(pendingNodes_, std::span(found).first(pendingNodes_.size()));
        for (size_t k = 0; k < pendingNodes_.size(); ++k) {
            byPosition_[pendingPositions_[k]] = found[k];
            if (!pendingLabels_[k].empty()) graph_->graph().setLabel(found[k], pendingLabels_[k]);
        }
        pendingNodes_.clear();
        pendingLabels_.clear();
        pendingPositions_.clear();
    }

    // --group names the field; without it the first field seen with few values, some shared.
    // False when --group names a field no node has.
    bool chooseGroupField() {
        if (options_.group == "none") return true;
        for (const Candidate& c : candidates_) {
            if (!options_.group.empty() || areFoundGroups(c.values.size(), c.given)) {
                groupField_ = c.field;
                result_.groupedBy = c.field;
                return true;
            }
        }
        return options_.group.empty();
    }

    // An edge's end: a string is an id; a number is an id when a node has it, else a position
    // in "nodes" when there is one; an object gives its "id".
    std::optional<SiteGraph::Index> end(od::value value) {
        bool number = value.type() == od::json_type::number;
        std::optional<std::string_view> id;
        if (value.type() == od::json_type::object) {
            for (auto f : value.get_object()) {
                if (f.unescaped_key().value() != "id") continue;
                number = f.value().type() == od::json_type::number;
                id = scalarText(f.value());
            }
        } else {
            id = scalarText(value);
        }
        if (!id) return std::nullopt;
        if (number && graph_->graph().find(*id) == SiteGraph::kNone) {
            size_t position = 0;
            const auto [rest, error] =
                std::from_chars(id->data(), id->data() + id->size(), position);
            if (error == std::errc() && rest == id->data() + id->size() &&
                position < byPosition_.size()) {
                return byPosition_[position];
            }
        }
        return id->empty() ? SiteGraph::kNone : graph_->node(*id);
    }

    void edges(od::value list) {
        for (auto entry : list.get_array()) {
            std::optional<SiteGraph::Index> from, to;
            // A string source followed by a string target (the usual edge) is looked up with the
            // edge, a batch at a time; anything else at once, so that nodes are created in the
            // order their ids are seen either way.
            std::optional<std::string_view> fromId, toId;
            std::optional<bool> undirected;
            const auto settle = [&] {
                if (fromId) from = fromId->empty() ? SiteGraph::kNone : graph_->node(*fromId);
                if (toId) to = toId->empty() ? SiteGraph::kNone : graph_->node(*toId);
                fromId.reset();
                toId.reset();
            };
            const auto take = [&](std::string_view name, od::value value) {
                const bool text = value.type() == od::json_type::string;
                if (name == "source") {
                    settle();
                    if (!to && text) {
                        fromId = scalarText(value);
                    } else {
                        from = end(value);
                    }
                }
                if (name == "target") {
                    if (fromId && !toId && text) {
                        toId = scalarText(value);
                    } else {
                        settle();
                        to = end(value);
                    }
                }
                if (name == "undirected") undirected = value.get_bool().value();
            };
            for (auto f : entry.get_object()) {
                const std::string_view name = f.unescaped_key();
                if (elements_ && name == "data") {
                    for (auto inner : f.value().get_object())
                        take(inner.unescaped_key(), inner.value());
                } else if (!elements_) {
                    take(name, f.value());
                }
            }
            const bool directed =
                !undirected.value_or(!declaredDirected_.value_or(elements_ || keyedEdges_));
            if (fromId && toId && !fromId->empty() && !toId->empty()) {
                graph_->addEdge(*fromId, *toId, !directed);
                tick();
                continue;
            }
            settle();
            if (!from || !to) throw Refusal{"an edge without a source or a target"};
            if (*from == SiteGraph::kNone || *to == SiteGraph::kNone) {
                addWarning(result_,
                           file_ + ": an edge with an empty end or an end left out, left out");
            } else {
                graph_->addEdge(*from, *to, !directed);
            }
            tick();
        }
        graph_->flushEdges();  // the ids' text may not outlive this walk of the document
    }

    void tick() {
        if (++items_ % 65536 != 0) return;
        progress_(items_, 0, "reading");
        if (progress_.cancelled()) throw Cancelled{};
    }

    const std::string& file_;
    const ImportOptions& options_;
    const ImportProgress& progress_;
    ImportResult& result_;
    EdgeGraph* graph_ = nullptr;
    bool shapeFound_ = false, elements_ = false, keyedEdges_ = false;
    // "directed" or "options":{"type":…}; without them "links" are undirected, "edges" not.
    std::optional<bool> declaredDirected_;
    size_t position_ = 0;  // of the node in "nodes", counted over the whole walk
    std::vector<Candidate> candidates_;
    std::optional<std::string> groupField_;
    std::vector<SiteGraph::Index> byPosition_;  // kNone for a node left out
    static constexpr size_t kNodeBatch = 256;
    std::vector<std::string_view> pendingNodes_;   // ids of "nodes" not looked up yet
    std::vector<std::string_view> pendingLabels_;  // their labels (empty: none), alike
    std::vector<size_t> pendingPositions_;         // and their places in byPosition_
    uint64_t items_ = 0;
};

}  // namespace

ImportResult importJsonGraph(const std::string& file, const ImportOptions& options,
                             std::ostream& out, const ImportProgress& progress) {
    ImportResult result;
    InputFile input;
    if (!openImportInput(file, input, progress, result)) return result;
    WholeText text;
    if (!text.read(input.stream(), simdjson::SIMDJSON_PADDING)) {
        result.error = file + ": " + input.error();
        return result;
    }
    EdgeGraph graph;
    if (!JsonGraphReader(file, options, progress, result).read(text, graph)) return result;
    text.release();  // the ids are interned; the text goes before the tree is built
    if (!graph.build(options.root, options.direction, file, result)) return result;
    return finishRead(graph.write(out, progress, result), progress, result);
}

}  // namespace orvo
