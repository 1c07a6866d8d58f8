// The Links panel beside the view: the selected node's links in and out, a row per link with
// the node at its other end (its label or id, its group's colour and name, its link score), a
// filter box above, sortable by a click on a column's header. The list is virtual: the rows'
// texts are asked for only as they are drawn, so a node with a million links lists at once.
// The rows themselves are a LinksList (glue/), free of the toolkit.
#pragma once

#include <wx/listctrl.h>
#include <wx/panel.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "glue/links_list.h"

class wxImageList;
class wxSearchCtrl;
class wxStaticText;

namespace orvo {

class LinksListView;

class LinksPanel : public wxPanel {
public:
    explicit LinksPanel(wxWindow* parent);
    ~LinksPanel() override;

    /// Lists the links of `node` (nullptr lists nothing); the filter and the order stay.
    void showLinks(const Graph* graph, const Node* node, const NodeMeasures* measures);
    /// The scores became known (or went): the score column follows.
    void measuresChanged(const NodeMeasures* measures);
    LinksList& links() { return links_; }
    wxListCtrl& listView();
    wxSearchCtrl& filterField() { return *filter_; }
    /// "12 in, 3 out" above the list.
    wxString summaryText() const;
    /// The list column showing a LinksList column.
    static int viewColumn(LinksColumn column);

    /// Called with the node's id when a row is clicked (or chosen with the keyboard).
    std::function<void(const std::string& id)> onRowChosen;

private:
    friend class LinksListView;
    void rowsChanged();
    void onColumnClick(wxListEvent& event);
    void onSelected(wxListEvent& event);

    LinksList links_;
    LinksListView* list_ = nullptr;
    wxSearchCtrl* filter_ = nullptr;
    wxStaticText* summary_ = nullptr;
};

}  // namespace orvo
