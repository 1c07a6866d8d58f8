// Groups from node attributes met one at a time.
#include "import/attribute_groups.h"

namespace orvo {

bool AttributeGroups::wants(std::string_view key) const {
    if (group_ == "none") return false;
    if (!group_.empty()) return key == group_;
    for (const Candidate& c : candidates_) {
        if (c.key == key) return !c.dropped;
    }
    return candidates_.size() < kAttributesLookedAt;
}

void AttributeGroups::add(EdgeGraph& graph, EdgeGraph::Index n, std::string_view key,
                          std::string_view value) {
    if (group_ == "none") return;
    if (!group_.empty()) {
        if (key != group_) return;
        named_ = true;
        graph.setGroupIfUnset(n, value);
        return;
    }
    Candidate* candidate = nullptr;
    for (Candidate& c : candidates_) {
        if (c.key == key) candidate = &c;
    }
    if (candidate == nullptr) {
        if (candidates_.size() == kAttributesLookedAt) return;
        candidate = &candidates_.emplace_back();
        candidate->key = key;
    }
    Candidate& c = *candidate;
    if (c.dropped || value.empty()) return;
    if (c.byNode.size() <= n) c.byNode.resize(n + 1, 0);
    if (c.byNode[n] != 0) return;
    auto [at, added] = c.values.try_emplace(std::string(value), uint32_t(c.values.size() + 1));
    if (added) c.names.push_back(at->first);
    if (c.values.size() > kMostFoundGroups) {
        // Names or numbers, not groups: nothing more is kept of them.
        c.dropped = true;
        std::vector<uint32_t>().swap(c.byNode);
        return;
    }
    c.byNode[n] = at->second;
    ++c.given;
}

bool AttributeGroups::finish(EdgeGraph& graph) {
    if (!group_.empty()) {
        if (group_ != "none" && named_) chosen_ = group_;
        return group_ == "none" || named_;
    }
    for (const Candidate& c : candidates_) {
        if (c.dropped || !areFoundGroups(c.values.size(), c.given)) continue;
        chosen_ = c.key;
        for (EdgeGraph::Index n = 0; n < c.byNode.size(); ++n) {
            if (c.byNode[n] != 0) graph.setGroupIfUnset(n, c.names[c.byNode[n] - 1]);
        }
        break;
    }
    return true;
}

}  // namespace orvo
