// The kind-0 groups of a graph whose node attributes a reader meets as it streams through the
// file: the attribute --group names, or without it the first attribute whose values are few
// enough to be groups (areFoundGroups), or none with --group none.
#pragma once

#include <boost/unordered/unordered_flat_map.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "import/edge_graph.h"

namespace orvo {

class AttributeGroups {
public:
    /// `group` as ImportOptions::group has it.
    explicit AttributeGroups(std::string group) : group_(std::move(group)) {}

    /// Whether add() may use a value of the key (a reader need not keep the others).
    bool wants(std::string_view key) const;
    /// Node `n` has `value` for `key` (the first value a node has for a key counts).
    void add(EdgeGraph& graph, EdgeGraph::Index n, std::string_view key, std::string_view value);
    /// Gives the nodes their groups. False when --group names an attribute no node has.
    bool finish(EdgeGraph& graph);
    /// The attribute the groups came from, once finished; empty when none.
    const std::string& chosen() const { return chosen_; }

private:
    struct Candidate {
        std::string key;
        boost::unordered_flat_map<std::string, uint32_t> values;  // value -> 1 + its number
        std::vector<std::string> names;  // by number (the map moves its keys)
        std::vector<uint32_t> byNode;    // 0: no value
        size_t given = 0;
        bool dropped = false;  // too many values to be groups
    };

    std::string group_;
    std::string chosen_;
    bool named_ = false;  // a node had the attribute --group names
    std::vector<Candidate> candidates_;
};

}  // namespace orvo
