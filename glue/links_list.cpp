#include "glue/links_list.h"

#include <algorithm>
#include <cctype>
#include <numeric>

#include "glue/measure_legend.h"
#include "glue/status_text.h"
#include "graph/graph.h"
#include "graph/read_stats.h"

namespace orvo {

namespace {

std::string lowered(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Whether `text` holds `needle` (already lower-cased), ASCII letters in any case.
bool holdsFolded(std::string_view text, const std::string& needle) {
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == static_cast<unsigned char>(b);
    };
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(), same) != text.end();
}

}  // namespace

void LinksList::list(const Graph& graph, const Node& node, const NodeMeasures* measures) {
    graph_ = &graph;
    measures_ = measures;
    listed_ = node.index;
    rows_.clear();
    // The tree link in is the parent's, the tree links out are the children's.
    rows_.reserve(node.inLinks.size() + node.outLinks.size() + node.children.size() + 1);
    if (node.parent != nullptr) rows_.push_back({node.parent->index, true});
    for (const Link* l : node.inLinks) rows_.push_back({l->fromNode->index, true});
    for (const Node* child : node.children) rows_.push_back({child->index, false});
    for (const Link* l : node.outLinks) rows_.push_back({l->toNode->index, false});
    resort();
}

void LinksList::clear() {
    graph_ = nullptr;
    measures_ = nullptr;
    listed_ = -1;
    rows_.clear();
    order_.clear();
    shown_.clear();
}

void LinksList::setMeasures(const NodeMeasures* measures) {
    measures_ = measures;
    if (sorted_ && column_ == LinksColumn::Score) resort();
}

void LinksList::setFilter(std::string_view text) {
    filter_ = lowered(text);
    refilter();
}

void LinksList::sortBy(LinksColumn column, bool ascending) {
    column_ = column;
    ascending_ = ascending;
    sorted_ = true;
    resort();
}

bool LinksList::hasScores() const {
    return graph_ != nullptr && measures_ != nullptr && measures_->size() == graph_->nodes.size();
}

std::string_view LinksList::nameKey(int32_t node) const {
    const Node& n = *graph_->nodes[static_cast<size_t>(node)];
    const std::string_view label = graph_->labelOf(n);
    return label.empty() ? n.id : label;
}

std::string_view LinksList::groupKey(int32_t node) const {
    return graph_->groupOf(*graph_->nodes[static_cast<size_t>(node)], graph_->settings.groupColumn);
}

// A stable sort of indices: the graph's order decides among equals, and descending order is the
// ascending one's comparison turned round, not its reverse.
void LinksList::resort() {
    order_.resize(rows_.size());
    std::iota(order_.begin(), order_.end(), 0u);
    if (sorted_ && graph_ != nullptr) {
        const auto by = [this](auto key) {
            std::stable_sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) {
                return ascending_ ? key(rows_[a]) < key(rows_[b]) : key(rows_[b]) < key(rows_[a]);
            });
        };
        switch (column_) {
            case LinksColumn::Direction:
                by([](const LinkRow& r) { return !r.in; });
                break;
            case LinksColumn::Name:
                by([this](const LinkRow& r) { return nameKey(r.node); });
                break;
            case LinksColumn::Group:
                by([this](const LinkRow& r) { return groupKey(r.node); });
                break;
            case LinksColumn::Score:
                if (hasScores())
                    by([this](const LinkRow& r) {
                        return measures_->score[static_cast<size_t>(r.node)];
                    });
                break;
        }
    }
    refilter();
}

void LinksList::refilter() {
    shown_.clear();
    if (filter_.empty()) {
        shown_ = order_;
        return;
    }
    for (uint32_t k : order_) {
        const Node& n = *graph_->nodes[static_cast<size_t>(rows_[k].node)];
        if (holdsFolded(n.id, filter_) || holdsFolded(graph_->labelOf(n), filter_))
            shown_.push_back(k);
    }
}

const Node& LinksList::rowNode(size_t i) const {
    return *graph_->nodes[static_cast<size_t>(row(i).node)];
}

std::string LinksList::cellText(size_t i, LinksColumn column) const {
    const LinkRow& r = row(i);
    switch (column) {
        case LinksColumn::Direction:
            return r.in ? "in" : "out";
        case LinksColumn::Name:
            return nodeNameText(*graph_, rowNode(i));
        case LinksColumn::Group: {
            const std::string_view group = groupKey(r.node);
            return group.empty() ? "no group" : std::string(group);
        }
        case LinksColumn::Score:
            return hasScores() ? measureValueText(Measure::Score,
                                                  measures_->score[static_cast<size_t>(r.node)])
                               : "";
    }
    return "";
}

Rgb LinksList::groupColour(size_t i) const {
    const float* c = graph_->nodeColor(rowNode(i));
    if (c == nullptr) c = graph_->defaultColor;
    return {c[0], c[1], c[2]};
}

std::string LinksList::summary() const {
    if (listed_ < 0) return "No node selected";
    const size_t in = static_cast<size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const LinkRow& r) { return r.in; }));
    std::string text = groupedNumber(static_cast<long long>(in)) + " in, " +
                       groupedNumber(static_cast<long long>(rows_.size() - in)) + " out";
    if (shown_.size() != rows_.size())
        text += " (" + groupedNumber(static_cast<long long>(shown_.size())) + " shown)";
    return text;
}

}  // namespace orvo
