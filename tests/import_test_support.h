// What an imported outline reads back as: each node's tree parent and the set of non-tree links,
// by id, for comparing with what the input held.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>

#include "graph/graph.h"

namespace orvo::test {

struct ReadBack {
    explicit ReadBack(const Graph& g) {
        for (const Node* n : g.nodes) {
            parents[std::string(n->id)] = n->parent ? std::string(n->parent->id) : std::string();
            for (const Link* l : n->outLinks) nonTree.emplace(l->fromId(), l->toId());
        }
    }
    std::map<std::string, std::string> parents;  // the root's parent is ""
    std::set<std::pair<std::string, std::string>> nonTree;
};

}  // namespace orvo::test
