// The picture-size dialog of File > Export Picture...
#include "shell/export_picture_dialog.h"

#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include "glue/picture_export.h"

namespace orvo {

ExportPictureDialog::ExportPictureDialog(wxWindow* parent, const wxSize& windowSize)
    : wxDialog(parent, wxID_ANY, "Picture Size"), windowSize_(windowSize) {
    windowChoice_ = new wxRadioButton(
        this, wxID_ANY,
        wxString::Format("The window's size, %d x %d pixels", windowSize.x, windowSize.y),
        wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    otherChoice_ = new wxRadioButton(this, wxID_ANY, "Another size:");
    const wxString limit = wxString::Format("%d", kMaxExportSide);
    width_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                            wxSP_ARROW_KEYS, 1, kMaxExportSide, windowSize.x);
    height_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                             wxSP_ARROW_KEYS, 1, kMaxExportSide, windowSize.y);
    width_->SetToolTip("Width in pixels, 1 to " + limit);
    height_->SetToolTip("Height in pixels, 1 to " + limit);

    auto* other = new wxBoxSizer(wxHORIZONTAL);
    other->Add(otherChoice_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    other->Add(width_, 0, wxALIGN_CENTER_VERTICAL);
    other->Add(new wxStaticText(this, wxID_ANY, " x "), 0, wxALIGN_CENTER_VERTICAL);
    other->Add(height_, 0, wxALIGN_CENTER_VERTICAL);
    other->Add(new wxStaticText(this, wxID_ANY, " pixels (at most " + limit + " x " + limit + ")"),
               0, wxALIGN_CENTER_VERTICAL);

    legend_ =
        new wxCheckBox(this, wxID_ANY, "Draw the legend of the colours in the top left corner");
    legend_->SetToolTip("Each group of the kind coloured, with its colour and node count");

    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(
        new wxStaticText(this, wxID_ANY, "The view is drawn again at this size, labels included."),
        0, wxALL, 10);
    all->Add(windowChoice_, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    all->Add(other, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    all->Add(legend_, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    all->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(all);

    windowChoice_->SetValue(true);
    Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { updateEnabled(); });
    updateEnabled();
}

void ExportPictureDialog::updateEnabled() {
    const bool other = otherChoice_->GetValue();
    width_->Enable(other);
    height_->Enable(other);
}

wxSize ExportPictureDialog::chosenSize() const {
    if (windowChoice_->GetValue()) return windowSize_;
    return wxSize(width_->GetValue(), height_->GetValue());
}

void ExportPictureDialog::choose(const wxSize& size) {
    const bool window = size == windowSize_;
    windowChoice_->SetValue(window);
    otherChoice_->SetValue(!window);
    width_->SetValue(size.x);
    height_->SetValue(size.y);
    updateEnabled();
}

bool ExportPictureDialog::withLegend() const { return legend_->GetValue(); }

void ExportPictureDialog::setWithLegend(bool on) { legend_->SetValue(on); }

}  // namespace orvo
