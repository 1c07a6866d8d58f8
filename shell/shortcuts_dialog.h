// Help > Keyboard Shortcuts: the list of every key and mouse action and of what the colours
// mean, in a dialog of its own, wide enough for its longest line and small enough to sit over
// the default window (the list scrolls).
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
    /// The list's height at most (DIP): with the buttons the dialog stays under 600 pixels.
    static constexpr int kListHeight = 420;
    wxTextCtrl& list() { return *list_; }

private:
    wxTextCtrl* list_;
};

}  // namespace orvo
