// The About box and its help text.
#include "shell/about_dialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "shell/app_icon.h"

CAboutDlg::CAboutDlg(wxWindow* parent) : wxDialog(parent, wxID_ANY, "About orvo") {
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(new wxStaticBitmap(this, wxID_ANY, orvo::appIcon(32)), 0, wxALL, 10);
    top->Add(new wxStaticText(this, wxID_ANY, "Orvo Version 2.0"), 1,
             wxALIGN_CENTER_VERTICAL | wxALL, 10);
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    top->Add(ok, 0, wxALIGN_TOP | wxALL, 10);

    auto* text =
        new wxTextCtrl(this, 1000, helpText(), wxDefaultPosition, FromDIP(wxSize(640, 320)),
                       wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    text->SetFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE));  // so the columns line up
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
    return "Mouse\n"
           "  left click on a node      select it and fly to it (again: unselect)\n"
           "  left click on a link      fly to the clicked point\n"
           "  left drag                 move through the space\n"
           "  right drag                turn the view about its centre\n"
           "  pointer over a node       highlight it\n"
           "\n"
           "Keys (in the view)\n"
           "  0 .. 9    link generation limit (node limit after r)\n"
           "  *         show every generation (limits 99)\n"
           "  r         switch the digits between link and node limit\n"
           "  l         labels: short, full path, none\n"
           "  L         labels to the right or to the left of their node\n"
           "  b / B     smaller / larger labels\n"
           "  s         boundary sphere on / off\n"
           "  K         window aspect on / off\n"
           "  C         centre node in red on / off\n"
           "  g         colour by file type or by site group\n"
           "  R         next colour scheme (white, grey, black)\n"
           "  e         hide / show external nodes\n"
           "  o         hide / show orphan nodes\n"
           "  m         hide / show images, text, applications, audio, video, other\n"
           "  n         hide / show all nodes\n"
           "  N         hide / show all links\n"
           "  h         hide / show links from negative levels\n"
           "  i / u     non-tree links into / out of the whole tree\n"
           "  j / v     non-tree links into / out of the selected subtree\n"
           "  k / w     non-tree links into / out of the selected node\n"
           "  S         select / unselect the selected node's subtree\n"
           "  c         fly to the top node\n"
           "  f         fly to the node whose id is the next line of standard input\n"
           "\n"
           "File > Open reads a graph file; the last four files are kept in the File menu.\n";
}
