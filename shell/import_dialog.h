// The import dialog: how to open a file whose import has choices (an edge list, a DOT or a
// GraphML file): its format, the header, the group, the root and the direction, with the first
// lines of the file beside them.
#pragma once

#include <wx/dialog.h>

#include <vector>

#include "import/import_choices.h"

class wxCheckBox;
class wxChoice;
class wxComboBox;
class wxTextCtrl;

namespace orvo {

class ImportDialog : public wxDialog {
public:
    /// For the file at `path`, detected as `detected`; the controls start from `start` (what the
    /// file was last opened with, or the detected format with the defaults).
    ImportDialog(wxWindow* parent, const wxString& path, ImportFormat detected,
                 const ImportChoice& start);

    /// The choice as it stands.
    ImportChoice choice() const;
    /// False once "Do not ask again" is ticked.
    bool askAgain() const;

    // The controls, for tests.
    wxChoice& formatChoice() { return *format_; }
    wxChoice& headerChoice() { return *header_; }
    wxComboBox& groupBox() { return *group_; }
    wxTextCtrl& rootField() { return *root_; }
    wxChoice& directionChoice() { return *direction_; }
    wxTextCtrl& preview() { return *preview_; }
    wxCheckBox& doNotAskBox() { return *doNotAsk_; }

private:
    ImportFormat chosenFormat() const;
    std::string chosenHeader() const;
    /// The group box's value: a listed group's, else the text typed.
    std::string groupValue() const;
    /// Reads the file's choices for the format and header chosen, and shows them: the header
    /// judged, the groups found with `group` chosen among them, the preview.
    void refresh(const std::string& group);

    std::string path_;
    std::vector<GroupChoice> groups_;  // as listed: none, automatic, then those found
    wxChoice* format_ = nullptr;
    wxChoice* header_ = nullptr;
    wxComboBox* group_ = nullptr;
    wxTextCtrl* root_ = nullptr;
    wxChoice* direction_ = nullptr;
    wxTextCtrl* preview_ = nullptr;
    wxCheckBox* doNotAsk_ = nullptr;
};

}  // namespace orvo
