// Edit > Find Node...: a text field and the best matches under it, updated at each keystroke.
// Enter (or a double click) chooses the highlighted match, the best one unless the arrows moved.
#pragma once

#include <wx/dialog.h>

#include <string>
#include <vector>

class wxListBox;
class wxStaticText;
class wxTextCtrl;

namespace orvo {

class Glue;
struct SearchResult;

class FindNodeDialog : public wxDialog {
public:
    FindNodeDialog(wxWindow* parent, Glue& glue, const wxString& query);

    /// The id of the chosen node, after ShowModal returned wxID_OK.
    const std::string& chosenId() const { return chosen_; }
    /// The ids of the matches shown, best first (for tests).
    const std::vector<std::string>& shownIds() const { return ids_; }
    wxTextCtrl& queryField() { return *query_; }

    /// At most this many matches are listed.
    static constexpr size_t kShown = 20;

private:
    void refresh();
    /// Lists the result; `searching`: it is what was found at once, the whole search to come.
    void show(const SearchResult& result, const std::string& query, bool searching);
    void choose();
    void onKey(wxKeyEvent& event);

    Glue& glue_;
    wxTextCtrl* query_;
    wxListBox* list_;
    wxStaticText* count_;
    std::vector<std::string> ids_;
    std::string chosen_;
};

}  // namespace orvo
