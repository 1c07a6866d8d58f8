// The find dialog: each change of the text asks the glue's search index for the best matches.
#include "shell/find_node_dialog.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "glue/glue.h"
#include "glue/status_text.h"

namespace orvo {

FindNodeDialog::FindNodeDialog(wxWindow* parent, Glue& glue, const wxString& query)
    : wxDialog(parent, wxID_ANY, "Find Node", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      glue_(glue) {
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(new wxStaticText(this, wxID_ANY, "Part of a node's id or label:"), 0,
             wxLEFT | wxRIGHT | wxTOP, 10);
    query_ = new wxTextCtrl(this, wxID_ANY, query, wxDefaultPosition, wxDefaultSize,
                            wxTE_PROCESS_ENTER);
    all->Add(query_, 0, wxEXPAND | wxALL, 10);
    list_ = new wxListBox(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(560, 320)));
    all->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);
    count_ = new wxStaticText(this, wxID_ANY, "");
    all->Add(count_, 0, wxEXPAND | wxALL, 10);
    all->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(all);
    if (wxWindow* ok = FindWindow(wxID_OK)) ok->SetLabel("Fly to Node");

    query_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { refresh(); });
    query_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { choose(); });
    query_->Bind(wxEVT_KEY_DOWN, &FindNodeDialog::onKey, this);
    list_->Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent&) { choose(); });
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { choose(); }, wxID_OK);
    query_->SetFocus();
    query_->SetInsertionPointEnd();
    refresh();
}

void FindNodeDialog::refresh() {
    const std::string query(query_->GetValue().utf8_str());
    // On a large map the name index lists the exact hits at once; the whole search, a pass over
    // every id, follows once they are on screen, unless the query has changed by then.
    if (const std::optional<SearchResult> quick = glue_.findNodesAtOnce(query, kShown)) {
        show(*quick, query, true);
        Update();  // painted before the pass holds the window
        CallAfter([this, query] {
            if (std::string(query_->GetValue().utf8_str()) == query)
                show(glue_.findNodes(query, kShown), query, false);
        });
        return;
    }
    show(glue_.findNodes(query, kShown), query, false);
}

void FindNodeDialog::show(const SearchResult& result, const std::string& query, bool searching) {
    ids_.clear();
    wxArrayString rows;
    for (const SearchHit& hit : result.hits) {
        FoundNode found = glue_.foundNode(hit);
        const std::string& name = found.name;
        wxString row = wxString::FromUTF8(name.data(), name.size());
        if (row.empty() && !name.empty()) row = wxString::From8BitData(name.data(), name.size());
        if (!found.shown) row += "   (hidden)";
        ids_.push_back(std::move(found.id));
        rows.Add(row);
    }
    list_->Set(rows);
    if (!rows.empty()) list_->SetSelection(0);
    count_->SetLabel(query.empty() ? wxString() : wxString::FromUTF8(findCountText(result, searching)));
}

void FindNodeDialog::choose() {
    const int row = list_->GetSelection();
    if (row == wxNOT_FOUND || static_cast<size_t>(row) >= ids_.size()) {
        wxBell();
        return;
    }
    chosen_ = ids_[static_cast<size_t>(row)];
    EndModal(wxID_OK);
}

// Up and Down move through the matches while the text keeps the focus.
void FindNodeDialog::onKey(wxKeyEvent& event) {
    const int count = static_cast<int>(list_->GetCount());
    int row = list_->GetSelection();
    if (count > 0 && (event.GetKeyCode() == WXK_DOWN || event.GetKeyCode() == WXK_UP)) {
        row = event.GetKeyCode() == WXK_DOWN ? std::min(row + 1, count - 1) : std::max(row - 1, 0);
        list_->SetSelection(row);
        return;
    }
    event.Skip();
}

}  // namespace orvo
