#include "shell/links_panel.h"

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/sizer.h>
#include <wx/srchctrl.h>
#include <wx/stattext.h>

#include <array>

#include "graph/graph.h"

namespace orvo {

namespace {

// The list's columns, left to right.
constexpr std::array<LinksColumn, kLinksColumns> kColumns = {
    LinksColumn::Name, LinksColumn::Group, LinksColumn::Score, LinksColumn::Direction};
constexpr std::array<const char*, kLinksColumns> kTitles = {"Node", "Group", "Link score", "Link"};
// Swatches kept at most; rows of further colours show none.
constexpr size_t kSwatches = 256;

wxString fromBytes(const std::string& text) {
    wxString s = wxString::FromUTF8(text);
    if (s.empty() && !text.empty()) s = wxString::From8BitData(text.c_str(), text.size());
    return s;
}

}  // namespace

/// The virtual list: texts and swatches come from the panel's LinksList row by row.
class LinksListView : public wxListCtrl {
public:
    explicit LinksListView(LinksPanel& panel)
        : wxListCtrl(&panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                     wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL),
          panel_(panel),
          swatches_(panel.FromDIP(12), panel.FromDIP(12), true, 16) {
        SetImageList(&swatches_, wxIMAGE_LIST_SMALL);
        constexpr std::array<int, kLinksColumns> kWidths = {160, 70, 75, 40};
        for (size_t c = 0; c < kColumns.size(); ++c)
            AppendColumn(kTitles[c],
                         kColumns[c] == LinksColumn::Score ? wxLIST_FORMAT_RIGHT
                                                           : wxLIST_FORMAT_LEFT,
                         panel.FromDIP(kWidths[c]));
    }

    wxString OnGetItemText(long item, long column) const override {
        if (item < 0 || static_cast<size_t>(item) >= panel_.links_.size()) return {};
        const LinksColumn shown = kColumns[static_cast<size_t>(column)];
        const wxString text = fromBytes(panel_.links_.cellText(static_cast<size_t>(item), shown));
        if (shown != LinksColumn::Name) return text;
        // Ids of one site share their start: what tells them apart is kept, the middle goes.
        wxClientDC dc(const_cast<LinksListView*>(this));
        dc.SetFont(GetFont());
        return wxControl::Ellipsize(text, dc, wxELLIPSIZE_MIDDLE,
                                    GetColumnWidth(static_cast<int>(column)) - FromDIP(8));
    }
    int OnGetItemImage(long /*item*/) const override { return -1; }
    int OnGetItemColumnImage(long item, long column) const override {
        if (kColumns[static_cast<size_t>(column)] != LinksColumn::Group) return -1;
        if (item < 0 || static_cast<size_t>(item) >= panel_.links_.size()) return -1;
        return swatchOf(panel_.links_.groupColour(static_cast<size_t>(item)));
    }

private:
    // The index of a swatch of this colour, made the first time it is asked for.
    int swatchOf(const Rgb& c) const {
        const wxColour colour(static_cast<unsigned char>(c[0] * 255.0f + 0.5f),
                              static_cast<unsigned char>(c[1] * 255.0f + 0.5f),
                              static_cast<unsigned char>(c[2] * 255.0f + 0.5f));
        const uint32_t key = colour.GetRGB();
        if (auto at = swatchIndex_.find(key); at != swatchIndex_.end()) return at->second;
        if (swatchIndex_.size() >= kSwatches) return -1;
        int w = 0, h = 0;
        swatches_.GetSize(0, w, h);
        wxBitmap bitmap(w, h);
        {
            wxMemoryDC dc(bitmap);
            dc.SetBackground(*wxWHITE_BRUSH);
            dc.Clear();
            dc.SetPen(*wxBLACK_PEN);
            dc.SetBrush(wxBrush(colour));
            dc.DrawRectangle(1, 1, w - 2, h - 2);
        }
        const int index = swatches_.Add(bitmap);
        swatchIndex_.emplace(key, index);
        return index;
    }

    LinksPanel& panel_;
    mutable wxImageList swatches_;
    mutable std::map<uint32_t, int> swatchIndex_;
};

LinksPanel::LinksPanel(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
    SetMinSize(wxSize(FromDIP(370), -1));
    summary_ = new wxStaticText(this, wxID_ANY, "No node selected");
    filter_ = new wxSearchCtrl(this, wxID_ANY);
    filter_->SetDescriptiveText("Filter links");
    filter_->SetToolTip("Only the rows whose node's label or id holds this text");
    list_ = new LinksListView(*this);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(summary_, 0, wxEXPAND | wxALL, FromDIP(4));
    sizer->Add(filter_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(4));
    sizer->Add(list_, 1, wxEXPAND);
    SetSizer(sizer);
    filter_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
        links_.setFilter(std::string(filter_->GetValue().utf8_str()));
        rowsChanged();
    });
    list_->Bind(wxEVT_LIST_COL_CLICK, &LinksPanel::onColumnClick, this);
    list_->Bind(wxEVT_LIST_ITEM_SELECTED, &LinksPanel::onSelected, this);
}

LinksPanel::~LinksPanel() = default;

wxListCtrl& LinksPanel::listView() { return *list_; }

int LinksPanel::viewColumn(LinksColumn column) {
    for (size_t c = 0; c < kColumns.size(); ++c)
        if (kColumns[c] == column) return static_cast<int>(c);
    return -1;
}

void LinksPanel::showLinks(const Graph* graph, const Node* node, const NodeMeasures* measures) {
    if (graph == nullptr || node == nullptr) {
        links_.clear();
    } else {
        links_.list(*graph, *node, measures);
    }
    rowsChanged();
}

void LinksPanel::measuresChanged(const NodeMeasures* measures) {
    links_.setMeasures(measures);
    rowsChanged();
}

wxString LinksPanel::summaryText() const { return summary_->GetLabel(); }

void LinksPanel::rowsChanged() {
    // No row stays selected: a selection would name another node once the rows change.
    if (const long selected = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
        selected >= 0)
        list_->SetItemState(selected, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    list_->SetItemCount(static_cast<long>(links_.size()));
    list_->Refresh();
    summary_->SetLabel(fromBytes(links_.summary()));
}

// A second click on the column sorted by turns its order round; a new column starts with the
// order one looks for first: names and groups from A, scores from the highest.
void LinksPanel::onColumnClick(wxListEvent& event) {
    const int c = event.GetColumn();
    if (c < 0 || c >= kLinksColumns) return;
    const LinksColumn column = kColumns[static_cast<size_t>(c)];
    const bool ascending = links_.sorted() && links_.sortColumn() == column
                               ? !links_.sortAscending()
                               : column != LinksColumn::Score;
    links_.sortBy(column, ascending);
    rowsChanged();
}

void LinksPanel::onSelected(wxListEvent& event) {
    const long item = event.GetIndex();
    if (item < 0 || static_cast<size_t>(item) >= links_.size() || !onRowChosen) return;
    const std::string id(links_.rowNode(static_cast<size_t>(item)).id);
    // Flying lists the links of the node reached, which changes these rows: after this event.
    CallAfter([this, id] {
        if (onRowChosen) onRowChosen(id);
    });
}

}  // namespace orvo
