// Help > Keyboard Shortcuts: the list of every key and mouse action in a dialog of its own, wide
// enough for its longest line.
#pragma once

#include <wx/dialog.h>

class wxTextCtrl;

namespace orvo {

/// Sizes a read-only, unwrapped text field so that its longest line fits without scrolling
/// sideways; it is as tall as its lines, up to `maxHeight` (device pixels), and scrolls down
/// past that.
void fitTextFieldToText(wxTextCtrl& field, int maxHeight);

class ShortcutsDialog : public wxDialog {
public:
    explicit ShortcutsDialog(wxWindow* parent);
    wxTextCtrl& list() { return *list_; }

private:
    wxTextCtrl* list_;
};

}  // namespace orvo
