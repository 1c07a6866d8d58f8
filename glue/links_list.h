// The rows of the Links panel: the selected node's links in and links out, tree and non-tree
// alike, each row the node at the link's other end. Sorting and filtering work on node indices
// only, so a node with a million links in lists at once and the panel asks for the text of the
// rows it shows. No toolkit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "graph/node_measures.h"
#include "render/measure_colouring.h"

namespace orvo {

class Graph;
struct Node;

enum class LinksColumn { Direction, Name, Group, Score };
constexpr int kLinksColumns = 4;

struct LinkRow {
    int32_t node = -1;  // the node at the other end, by index
    bool in = false;    // a link into the listed node (else out of it)
};

class LinksList {
public:
    /// Lists the links of `node` of `graph` (kept by pointer: list again, or clear, before the
    /// graph goes), filtered and sorted as before. Scores come from `measures` when they are
    /// ready (any other size counts as none).
    void list(const Graph& graph, const Node& node, const NodeMeasures* measures);
    /// Lists nothing.
    void clear();
    /// The measures became ready (or went): the score column and its order follow.
    void setMeasures(const NodeMeasures* measures);

    /// Rows whose node's label or id holds the text (any case); empty shows every row.
    void setFilter(std::string_view text);
    /// Sorts the rows by a column; equal rows keep the order the graph holds them in. The order
    /// stays for the next nodes listed.
    void sortBy(LinksColumn column, bool ascending);
    LinksColumn sortColumn() const { return column_; }
    bool sortAscending() const { return ascending_; }
    /// Whether rows are sorted at all (the graph's own order until a column is chosen).
    bool sorted() const { return sorted_; }

    /// The node listed, by index; -1 when none.
    int32_t listedNode() const { return listed_; }
    /// Rows shown (after the filter), and every link of the node.
    size_t size() const { return shown_.size(); }
    size_t total() const { return rows_.size(); }
    const LinkRow& row(size_t i) const { return rows_[shown_[i]]; }
    const Node& rowNode(size_t i) const;

    /// The row's cells as the panel writes them: "in" or "out"; the label or id as the status
    /// bar names a node; the group of the kind coloured ("no group" for none); the link score
    /// ("" while it is not known).
    std::string cellText(size_t i, LinksColumn column) const;
    /// The colour the row's node is drawn with when coloured by its groups.
    Rgb groupColour(size_t i) const;
    /// "12 in, 3 out" of the node listed, and how many rows the filter leaves when it hides any.
    std::string summary() const;

private:
    std::string_view nameKey(int32_t node) const;
    std::string_view groupKey(int32_t node) const;
    bool hasScores() const;
    void refilter();
    void resort();

    const Graph* graph_ = nullptr;
    const NodeMeasures* measures_ = nullptr;
    int32_t listed_ = -1;
    std::vector<LinkRow> rows_;    // in the graph's order: links in, then links out
    std::vector<uint32_t> order_;  // rows_ sorted
    std::vector<uint32_t> shown_;  // order_ filtered
    std::string filter_;           // lower-cased
    LinksColumn column_ = LinksColumn::Name;
    bool ascending_ = true;
    bool sorted_ = false;
};

}  // namespace orvo
