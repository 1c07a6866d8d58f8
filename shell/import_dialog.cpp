#include "shell/import_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <array>
#include <string>

namespace orvo {

namespace {

constexpr std::array<const char*, 3> kHeaders{"auto", "yes", "no"};
constexpr std::array<WalkDirection, 4> kDirections{WalkDirection::Auto, WalkDirection::Out,
                                                   WalkDirection::In, WalkDirection::Both};

wxString fromBytes(const std::string& text) {
    wxString s = wxString::FromUTF8(text);
    if (s.empty() && !text.empty()) s = wxString::From8BitData(text.c_str(), text.size());
    return s;
}

// Every choice of the dialog has one of its fixed items selected from the start.
size_t selected(const wxChoice& choice) {
    return static_cast<size_t>(std::max(0, choice.GetSelection()));
}

template <class Array, class Value>
int indexOf(const Array& values, const Value& value) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] == value) return static_cast<int>(i);
    }
    return 0;
}

}  // namespace

ImportDialog::ImportDialog(wxWindow* parent, const wxString& path, ImportFormat detected,
                           const ImportChoice& start)
    : wxDialog(parent, wxID_ANY, "Import " + wxFileName(path).GetFullName(), wxDefaultPosition,
               wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      path_(path.fn_str()) {
    format_ = new wxChoice(this, wxID_ANY);
    for (const ImportFormatChoice& entry : importFormatChoices()) {
        format_->Append(wxString(entry.label) + (entry.format == detected ? " (detected)" : ""));
    }
    const auto formats = importFormatChoices();
    for (size_t i = 0; i < formats.size(); ++i) {
        if (formats[i].format == start.format) format_->SetSelection(static_cast<int>(i));
    }
    if (format_->GetSelection() == wxNOT_FOUND) format_->SetSelection(0);
    header_ = new wxChoice(this, wxID_ANY);
    header_->Append(
        {"Auto", "Yes: the first line names the columns", "No: the first line is data"});
    header_->SetSelection(indexOf(kHeaders, start.options.header));
    group_ =
        new wxComboBox(this, wxID_ANY, wxEmptyString, wxDefaultPosition, FromDIP(wxSize(260, -1)));
    group_->SetToolTip("A column or node attribute whose values become the nodes' groups");
    root_ = new wxTextCtrl(this, wxID_ANY, fromBytes(start.options.root));
    root_->SetHint("automatic: the node with the most edges to walk");
    direction_ = new wxChoice(this, wxID_ANY);
    direction_->Append({"Auto: whichever of out and in reaches more nodes", "Out: along the edges",
                        "In: against the edges", "Both ways"});
    direction_->SetSelection(indexOf(kDirections, start.options.direction));
    preview_ = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                              wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    preview_->SetFont(wxFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE)));
    const wxSize character = preview_->GetTextExtent("M");
    preview_->SetMinSize(wxSize(character.x * 80, character.y * 14));
    doNotAsk_ = new wxCheckBox(this, wxID_ANY,
                               "Do not ask again (File > Ask How to Import turns asking back on)");

    auto* grid = new wxFlexGridSizer(2, FromDIP(wxSize(8, 6)));
    grid->AddGrowableCol(1);
    const auto row = [&](const char* label, wxWindow* control) {
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(control, 0, wxEXPAND);
    };
    row("Format:", format_);
    row("Header line:", header_);
    row("Group by:", group_);
    row("Root:", root_);
    row("Direction:", direction_);

    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(grid, 0, wxEXPAND | wxALL, FromDIP(10));
    all->Add(new wxStaticText(this, wxID_ANY, "The first lines of the file:"), 0, wxLEFT | wxRIGHT,
             FromDIP(10));
    all->Add(preview_, 1, wxEXPAND | wxALL, FromDIP(10));
    all->Add(doNotAsk_, 0, wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(10));
    auto* buttons = new wxStdDialogButtonSizer;
    auto* open = new wxButton(this, wxID_OK, "&Open");
    open->SetDefault();
    buttons->AddButton(open);
    buttons->AddButton(new wxButton(this, wxID_CANCEL));
    buttons->Realize();
    all->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(10));

    refresh(start.options.group);
    SetSizerAndFit(all);
    format_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { refresh(groupValue()); });
    header_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { refresh(groupValue()); });
    open->SetFocus();
}

ImportFormat ImportDialog::chosenFormat() const {
    return importFormatChoices()[selected(*format_)].format;
}

std::string ImportDialog::chosenHeader() const { return kHeaders[selected(*header_)]; }

std::string ImportDialog::groupValue() const {
    const wxString group = group_->GetValue().Strip(wxString::both);
    for (const GroupChoice& g : groups_) {
        if (group == fromBytes(g.label)) return g.value;
    }
    return group.utf8_string();
}

void ImportDialog::refresh(const std::string& group) {
    const ImportFormat format = chosenFormat();
    const ImportChoices choices = importChoices(path_, format, chosenHeader());
    const bool header = importFormatChoice(format)->header;
    header_->Enable(header);
    wxString judged = "Only edge lists have a header line";
    if (header) {
        judged = choices.headerLine ? "Auto: the first line names the columns"
                                    : "Auto: the first line is data";
        if (choices.headerFromHead) judged += " (judged on the file's start)";
    }
    header_->SetString(0, judged);
    groups_ = {{"None", "none"}, {automaticGroupLabel(choices), ""}};
    groups_.insert(groups_.end(), choices.groups.begin(), choices.groups.end());
    group_->Clear();
    for (const GroupChoice& g : groups_) group_->Append(fromBytes(g.label));
    // The group chosen: a listed one by its label, any other as it was typed.
    group_->SetValue(fromBytes(group));
    for (const GroupChoice& g : groups_) {
        if (g.value == group) group_->SetValue(fromBytes(g.label));
    }
    wxString text;
    for (const std::string& line : choices.preview) text << fromBytes(line) << "\n";
    if (!choices.error.empty()) text << "(" << fromBytes(choices.error) << ")";
    preview_->ChangeValue(text);
}

ImportChoice ImportDialog::choice() const {
    ImportChoice chosen;
    chosen.format = chosenFormat();
    chosen.options.header = chosenHeader();
    chosen.options.group = groupValue();
    chosen.options.root = root_->GetValue().Strip(wxString::both).utf8_string();
    chosen.options.direction = kDirections[selected(*direction_)];
    return chosen;
}

bool ImportDialog::askAgain() const { return !doNotAsk_->GetValue(); }

}  // namespace orvo
