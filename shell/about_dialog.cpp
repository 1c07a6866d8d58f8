// The About box and its help text.
#include "shell/about_dialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "glue/key_table.h"
#include "shell/app_icon.h"
#include "shell/shortcuts_dialog.h"

CAboutDlg::CAboutDlg(wxWindow* parent) : wxDialog(parent, wxID_ANY, "About orvo") {
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(new wxStaticBitmap(this, wxID_ANY, orvo::appIcon(32)), 0, wxALL, 10);
    top->Add(new wxStaticText(this, wxID_ANY, "Orvo Version 2.0"), 1,
             wxALIGN_CENTER_VERTICAL | wxALL, 10);
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    top->Add(ok, 0, wxALIGN_TOP | wxALL, 10);

    auto* text = new wxTextCtrl(this, 1000, helpText(), wxDefaultPosition, wxDefaultSize,
                                wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    text->SetFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE));  // so the columns line up
    orvo::fitTextFieldToText(*text, FromDIP(320));
    text->SetInsertionPoint(0);                                 // shown from its first line
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(top, 0, wxEXPAND);
    all->Add(text, 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    SetSizerAndFit(all);
    SetAffirmativeId(wxID_OK);
    SetEscapeId(wxID_OK);
    ok->SetFocus();
}

wxString CAboutDlg::helpText() {
    return wxString::FromUTF8(orvo::shortcutsText()) +
           "\nFile > Open reads a graph file; the last four files are kept in the File menu.\n";
}
