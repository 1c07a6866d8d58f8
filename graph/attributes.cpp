// Groups, visibility and colours of nodes and links: hiding groups, showing nodes and the links
// at both their ends, enabling non-tree links of a node or a subtree, and group colours.
#include <algorithm>
#include <vector>

#include "graph/graph.h"

namespace orvo {

namespace {

constexpr std::string_view kTopNodeAlias = "QX_TOPNODE";

bool validKind(int kind) { return kind >= 0 && kind < kGroupKinds; }

void setFlag(uint8_t& flags, uint8_t bit, bool on) {
    flags = on ? static_cast<uint8_t>(flags | bit) : static_cast<uint8_t>(flags & ~bit);
}

// Visits n and every node below it (any order: callers act on each node independently).
template <typename Visit>
void forSubtree(Node* n, Visit&& visit) {
    std::vector<Node*> stack{n};
    while (!stack.empty()) {
        Node* current = stack.back();
        stack.pop_back();
        visit(*current);
        stack.insert(stack.end(), current->children.rbegin(), current->children.rend());
    }
}

}  // namespace

bool Graph::anyGroupHidden() const {
    return std::any_of(hiddenGroups.begin(), hiddenGroups.end(),
                       [](const auto& list) { return !list.empty(); });
}

std::vector<uint8_t> Graph::hiddenGroupSets() const {
    std::array<std::vector<int64_t>, kGroupKinds> hiddenIds;
    for (int k = 0; k < kGroupKinds; ++k) {
        for (const std::string& name : hiddenGroups[k]) {
            const int64_t id = groupNames_.find(name);
            if (id >= 0) hiddenIds[k].push_back(id);
        }
    }
    std::vector<uint8_t> setHidden(groupNames_.setCount(), 0);
    for (size_t s = 0; s < setHidden.size(); ++s) {
        const GroupSetView set = groupNames_.set(static_cast<GroupSetId>(s));
        const size_t kinds = std::min<size_t>(set.size(), kGroupKinds);
        for (size_t k = 0; k < kinds && !setHidden[s]; ++k) {
            const auto& ids = hiddenIds[k];
            setHidden[s] = std::find(ids.begin(), ids.end(), set[k]) != ids.end();
        }
    }
    return setHidden;
}

void Graph::applyHiddenGroupsToAll() {
    // Nodes share a few group sets: decide each set once, then set every node from its set.
    const std::vector<uint8_t> setHidden = hiddenGroupSets();
    for (Node* n : nodes) setShown(*n, setHidden[n->groups] ? 0 : 1);
}

int Graph::setGroupHidden(int kind, std::string_view name, int hide) {
    if (!validKind(kind)) return 0;
    auto& list = hiddenGroups[kind];
    const auto found = std::find(list.begin(), list.end(), name);
    const bool present = found != list.end();
    if (present == (hide != 0)) return 0;
    if (present) {
        list.erase(found);
    } else {
        list.emplace_back(name);
    }
    applyHiddenGroupsToAll();
    return 1;
}

bool Graph::anyGroupVeiled() const {
    return std::any_of(veiledGroups.begin(), veiledGroups.end(),
                       [](const auto& list) { return !list.empty(); });
}

bool Graph::isGroupVeiled(int kind, std::string_view name) const {
    if (!validKind(kind)) return false;
    const auto& list = veiledGroups[static_cast<size_t>(kind)];
    return std::find(list.begin(), list.end(), name) != list.end();
}

// The reader writes "-" for a kind a node skips: like a kind past the node's last group, no
// group of that kind.
void Graph::applyVeilsToAll() {
    std::array<std::vector<int64_t>, kGroupKinds> veiledIds;
    std::array<bool, kGroupKinds> ungroupedVeiled{};
    for (size_t k = 0; k < kGroupKinds; ++k) {
        for (const std::string& name : veiledGroups[k]) {
            if (name.empty()) {
                ungroupedVeiled[k] = true;
                continue;
            }
            const int64_t id = groupNames_.find(name);
            if (id >= 0) veiledIds[k].push_back(id);
        }
    }
    std::vector<uint8_t> setVeiled(groupNames_.setCount(), 0);
    for (size_t s = 0; s < setVeiled.size(); ++s) {
        const GroupSetView set = groupNames_.set(static_cast<GroupSetId>(s));
        for (size_t k = 0; k < kGroupKinds && !setVeiled[s]; ++k) {
            if (k >= set.size()) {
                setVeiled[s] = ungroupedVeiled[k];
                continue;
            }
            const std::string_view name = groupName(set[k]);
            const auto& ids = veiledIds[k];
            setVeiled[s] = (name.empty() || name == "-")
                               ? ungroupedVeiled[k]
                               : std::find(ids.begin(), ids.end(), set[k]) != ids.end();
        }
    }
    for (Node* n : nodes) setFlag(n->flags, Veiled, setVeiled[n->groups] != 0);
}

int Graph::setGroupVeiled(int kind, std::string_view name, int veil) {
    return setGroupsVeiled(kind, {std::string(name)}, veil);
}

int Graph::setGroupsVeiled(int kind, const std::vector<std::string>& names, int veil) {
    if (!validKind(kind)) return 0;
    auto& list = veiledGroups[static_cast<size_t>(kind)];
    bool changed = false;
    for (const std::string& name : names) {
        const auto found = std::find(list.begin(), list.end(), name);
        const bool present = found != list.end();
        if (present == (veil != 0)) continue;
        if (present) {
            list.erase(found);
        } else {
            list.push_back(name);
        }
        changed = true;
    }
    if (!changed) return 0;
    applyVeilsToAll();
    return 1;
}

void Graph::applyHiddenGroups(Node& n) {
    const GroupSetView set = groupsOf(n);
    const size_t kinds = std::min<size_t>(set.size(), kGroupKinds);
    for (size_t k = 0; k < kinds; ++k) {
        const auto& list = hiddenGroups[k];
        if (std::find(list.begin(), list.end(), groupName(set[k])) != list.end()) {
            setShown(n, 0);
            return;
        }
    }
    setShown(n, 1);
}

void Graph::setShown(Node& n, int on) {
    ++linkVisibilityVersion_;
    setFlag(n.flags, Shown, on != 0);
    const bool nodeShown = n.isShown();
    auto showIf = [nodeShown](Link* l, const Node* other) {
        setFlag(l->flags, Shown,
                other != nullptr && nodeShown && other->isShown() && (l->flags & Enabled));
    };
    for (Node* child : n.children) showIf(child->parentLink, child);
    for (Link* l : n.outLinks) showIf(l, l->toNode);
    if (n.parentLink != nullptr) showIf(n.parentLink, n.parentLink->fromNode);
    for (Link* l : n.inLinks) showIf(l, l->fromNode);
}

void Graph::setGroupColor(int kind, std::string_view name, float r, float g, float b) {
    if (!validKind(kind)) return;
    auto& list = groupColors[kind];
    auto found = std::find_if(list.begin(), list.end(),
                              [name](const GroupColor& c) { return c.name == name; });
    if (found == list.end()) {
        list.push_back(GroupColor{std::string(name), {r, g, b}});
    } else {
        found->rgb[0] = r;
        found->rgb[1] = g;
        found->rgb[2] = b;
    }
}

const float* Graph::groupColor(int kind, std::string_view name) const {
    if (!validKind(kind)) return nullptr;
    const auto& list = groupColors[kind];
    auto found = std::find_if(list.begin(), list.end(),
                              [name](const GroupColor& c) { return c.name == name; });
    return found == list.end() ? defaultColor : found->rgb;
}

const float* Graph::nodeColor(const Node& n) const {
    const int kind = settings.groupColumn;
    // A colouring kind outside the tables gives the default colour rather than no colour.
    if (!validKind(kind)) return defaultColor;
    const GroupSetView set = groupsOf(n);
    if (static_cast<size_t>(kind) >= set.size()) return defaultColor;
    return groupColor(kind, groupName(set[kind]));
}

std::string_view Graph::groupOf(const Node& n, int kind) const {
    const GroupSetView set = groupsOf(n);
    if (kind < 0 || static_cast<size_t>(kind) >= set.size()) return {};
    return groupName(set[kind]);
}

namespace {

Node* linkOperationTarget(const Graph& g, std::string_view id) {
    Node* n = g.findNode(id);
    if (n == nullptr && id == kTopNodeAlias && !g.nodes.empty()) n = g.nodes[0];
    return n;
}

// Enables (with Shown when both ends are shown) or disables every link of one list.
void enableLinks(Node& n, PointerList<Link>& list, bool outgoing, int on) {
    for (Link* l : list) {
        if (on) {
            l->flags |= Enabled;
            const Node* other = outgoing ? l->toNode : l->fromNode;
            if (n.isShown() && other != nullptr && other->isShown()) l->flags |= Shown;
        } else {
            l->flags &= static_cast<uint8_t>(~(Enabled | Shown));
        }
    }
}

}  // namespace

int Graph::setOutLinksShown(std::string_view id, int on, int recursive) {
    Node* n = linkOperationTarget(*this, id);
    if (n == nullptr) return 0;
    ++linkVisibilityVersion_;
    if (recursive) {
        forSubtree(n, [on](Node& m) { enableLinks(m, m.outLinks, true, on); });
    } else {
        enableLinks(*n, n->outLinks, true, on);
    }
    return 1;
}

int Graph::setInLinksShown(std::string_view id, int on, int recursive) {
    Node* n = linkOperationTarget(*this, id);
    if (n == nullptr) return 0;
    ++linkVisibilityVersion_;
    if (recursive) {
        forSubtree(n, [on](Node& m) { enableLinks(m, m.inLinks, false, on); });
    } else {
        enableLinks(*n, n->inLinks, false, on);
    }
    return 1;
}

void Graph::setAllNodesShown(int on) {
    ++linkVisibilityVersion_;
    for (Node* n : nodes) setFlag(n->flags, Shown, on != 0);
}

// Every link is enabled, but shown only between shown nodes, as everywhere else: a link to a
// node of a hidden group would be drawn to nothing.
void Graph::setAllLinksShown(int on) {
    ++linkVisibilityVersion_;
    for (Link* l : links) {
        setFlag(l->flags, Enabled, on != 0);
        setFlag(l->flags, Shown,
                on != 0 && l->fromNode != nullptr && l->fromNode->isShown() &&
                    l->toNode != nullptr && l->toNode->isShown());
    }
}

void Graph::setNegativeLevelLinksHidden(int hide) {
    ++linkVisibilityVersion_;
    for (Link* l : links) {
        if (l->fromNode != nullptr && l->fromNode->level < 0) setFlag(l->flags, Shown, hide == 0);
    }
}

std::vector<std::string> Graph::collectShownSubtree(std::string_view id, int levels) const {
    std::vector<std::string> ids;
    const Node* start = findNode(id);
    if (start == nullptr || !start->isShown()) return ids;
    // Pre-order with an explicit stack; a negative level budget never runs out.
    struct Pending {
        const Node* node;
        int64_t levels;
    };
    std::vector<Pending> stack{{start, levels}};
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        if (!p.node->isShown()) continue;
        ids.emplace_back(p.node->id);
        if (p.levels == 0) continue;
        const int64_t below = p.levels < 0 ? -1 : p.levels - 1;
        for (auto c = p.node->children.rbegin(); c != p.node->children.rend(); ++c) {
            stack.push_back({*c, below});
        }
    }
    return ids;
}

}  // namespace orvo
