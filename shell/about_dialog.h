// The modal "About orvo" box: icon, version line, OK, and a text field listing the mouse
// actions and the keyboard commands.
#pragma once

#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* parent);

    /// The text of the large field.
    static wxString helpText();
};
