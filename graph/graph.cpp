// The graph's life cycle (construction, reload, taking over a freshly read graph), node and link
// registration, id lookup and the derived labels.
#include "graph/graph.h"

#include <cstdio>
#include <cstdlib>

#include "graph/read_state.h"
#include "graph/record_fields.h"
#include "memory/background_discard.h"

namespace orvo {

std::string_view pathLabelOf(std::string_view s) {
    // The third '/', searching from position 1 on.
    size_t p = 0;
    size_t from = 1;
    for (int found = 0; found < 3; ++found) {
        p = from < s.size() ? s.find('/', from) : std::string_view::npos;
        if (p == std::string_view::npos) break;
        from = p + 1;
    }
    if (p == std::string_view::npos || p + 1 == s.size()) p = 0;
    return s.substr(p);
}

std::string_view shortLabelOf(std::string_view id) { return shortLabelOfPath(pathLabelOf(id)); }

std::string_view shortLabelOfPath(std::string_view path) {
    if (path.size() == 1) return path;
    const size_t q = path.rfind('/');
    if (q != std::string_view::npos && q > 0) return path.substr(q);
    return path;
}

std::string_view Node::pathLabel() const { return pathLabelOf(id); }

std::string_view Node::shortLabel() const { return shortLabelOf(id); }

std::string Link::linkId() const {
    std::string result;
    result.reserve(fromId().size() + 1 + toId().size());
    result.append(fromId()).append("|").append(toId());
    return result;
}

int32_t readDebugLevel() {
    const char* value = std::getenv("DEVIRIRO_DEBUG");
    return value ? readInt(value) : 0;
}

Graph::Graph(const ViewerSettings& settings_) : settings(settings_) {}

Graph::Graph(const ViewerSettings& settings_, std::istream& in) : settings(settings_) {
    debugLevel = readDebugLevel();
    reload(in);
}

Graph::~Graph() { clearContents(); }

namespace {

// Below this many nodes a graph is dropped where it stands: starting a thread would cost more.
constexpr size_t kDiscardInBackgroundNodes = 100000;

}  // namespace

// What a dropped graph leaves to destroy.
struct Graph::Remains {
    std::vector<Node*> nodes;
    std::vector<Link*> links;
    ChunkedStore<Node> nodeStore;
    ChunkedStore<Link> linkStore;
    TextArena ids;
    NodeIndex index;
};

void Graph::clearContents() {
    ++linkVisibilityVersion_;
    root = nullptr;
    topNodeIndex_ = -1;
    read_.reset();
    if (nodes.size() >= kDiscardInBackgroundNodes) {
        auto remains = std::make_shared<Remains>();
        remains->nodes = std::move(nodes);
        remains->links = std::move(links);
        remains->nodeStore = std::move(nodeStore_);
        remains->linkStore = std::move(linkStore_);
        remains->ids = std::move(idStore_);
        remains->index = std::move(nodeIndexById_);
        discardInBackground(std::move(remains));
    }
    // Whatever was not handed over (a small graph, or a moved-from member) goes here.
    nodeIndexById_.clear();
    std::vector<Node*>().swap(nodes);
    std::vector<Link*>().swap(links);
    nodeStore_.clear();  // destroys the nodes in array order, then the links
    linkStore_.clear();
    idStore_.clear();
    labels_.clear();
    transforms_.clear();
    groupNames_.clear();
    for (std::string& name : groupKindNames_) name.clear();
}

bool Graph::reload(std::istream& in, const ReadReport& report) {
    clearContents();
    homeTransform_ = ProjTransform::identity();
    parseStream(in, report);
    if (nodes.empty()) {
        // Nothing to dump; the caller learns that the load failed.
        topNodeIndex_ = -1;
        if (debugLevel != 0) std::fprintf(stderr, "loaded %d nodes, %d links\n", 0, 0);
        return false;
    }
    root = nodes[0];
    if (debugLevel != 0) writeDebugFile(summaryAndDump());
    return true;
}

void Graph::takeContentsOf(Graph& fresh) {
    if (&fresh == this) return;
    const bool freshHadHiddenGroups = fresh.anyGroupHidden();
    clearContents();
    root = fresh.root;
    nodes = std::move(fresh.nodes);
    links = std::move(fresh.links);
    nodeStore_ = std::move(fresh.nodeStore_);
    linkStore_ = std::move(fresh.linkStore_);
    idStore_ = std::move(fresh.idStore_);
    std::swap(labels_, fresh.labels_);
    std::swap(transforms_, fresh.transforms_);
    nodeIndexById_ = std::move(fresh.nodeIndexById_);
    groupNames_ = std::move(fresh.groupNames_);
    homeTransform_ = fresh.homeTransform_;
    groupKindNames_ = std::move(fresh.groupKindNames_);
    topNodeIndex_ = fresh.topNodeIndex_;
    readStats = fresh.readStats;
    fresh.clearContents();
    fresh.homeTransform_ = ProjTransform::identity();
    // The fresh graph applied its own (usually empty) hidden lists; ours are the ones in force.
    if (anyGroupHidden() || freshHadHiddenGroups) applyHiddenGroupsToAll();
    if (anyGroupVeiled() || fresh.anyGroupVeiled()) applyVeilsToAll();
}

int32_t Graph::findNodeIndex(std::string_view id) const {
    const int32_t i = nodeIndexById_.find(id, nodes);
    return i < 0 ? -1 : nodes[i]->index;
}

Node* Graph::findNode(std::string_view id) const {
    const int32_t i = findNodeIndex(id);
    return i < 0 ? nullptr : nodes[i];
}

void Graph::addNode(Node* n, std::string_view id) { addNodeWithHash(n, id, NodeIndex::hashOf(id)); }

void Graph::addNodeWithHash(Node* n, std::string_view id, uint32_t idHash) {
    const auto i = static_cast<int32_t>(nodes.size());
    n->index = i;
    n->id = idStore_.store(id);
    if (nodes.empty()) root = n;  // records applied one by one outside a read have a root too
    nodes.push_back(n);
    nodeIndexById_.insert(n->id, idHash, i, nodes);
}

void Graph::addLink(Link* l) {
    l->index = static_cast<int32_t>(links.size());
    links.push_back(l);
}

Node* Graph::newNode(Node* parent, int32_t level) { return nodeStore_.emplace(parent, level); }

Link* Graph::newLink(Node* from, Node* to, int32_t extra, uint8_t flags) {
    Link* l = linkStore_.emplace();
    l->fromNode = from;
    l->toNode = to;
    l->extra = extra;
    l->flags = flags;
    addLink(l);
    return l;
}

}  // namespace orvo
