// The shortcut list dialog, and text fields sized to their text.
#include "shell/shortcuts_dialog.h"

#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>
#include <wx/tokenzr.h>

#include <algorithm>

#include "glue/key_table.h"

namespace orvo {

void fitTextFieldToText(wxTextCtrl& field, int maxHeight) {
    int widest = 0, lines = 0, lineHeight = 0;
    wxStringTokenizer tokens(field.GetValue(), "\n", wxTOKEN_RET_EMPTY_ALL);
    while (tokens.HasMoreTokens()) {
        const wxSize extent = field.GetTextExtent(tokens.GetNextToken() + " ");
        widest = std::max(widest, extent.x);
        lineHeight = std::max(lineHeight, extent.y);
        ++lines;
    }
    // The field's own frame and inner margins, and room for the scroll bar down its side.
    const int frame = field.FromDIP(24);
    const int scrollBar = std::max(wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, &field), 0);
    const wxSize size(
        widest + scrollBar + frame,
        std::min(lines * lineHeight + frame, std::max(maxHeight, lineHeight + frame)));
    field.SetMinSize(size);
    field.SetInitialSize(size);
}

ShortcutsDialog::ShortcutsDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Keyboard Shortcuts", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    list_ = new wxTextCtrl(this, wxID_ANY, wxString::FromUTF8(shortcutsText()), wxDefaultPosition,
                           wxDefaultSize, wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    list_->SetFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE));  // so the columns line up
    // Tall enough for a good part of the list, but the whole dialog fits over the default
    // 800 x 600 window; the rest of the list scrolls.
    const int screenHeight = wxSystemSettings::GetMetric(wxSYS_SCREEN_Y, this);
    const int fitsWindow = FromDIP(kListHeight);
    fitTextFieldToText(*list_,
                       screenHeight > 0 ? std::min(screenHeight * 2 / 3, fitsWindow) : fitsWindow);
    list_->SetInsertionPoint(0);
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(list_, 1, wxEXPAND | wxALL, 10);
    all->Add(CreateStdDialogButtonSizer(wxOK), 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(all);
}

}  // namespace orvo
