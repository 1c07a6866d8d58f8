// File > Export Picture...: the size of the picture, the window's own or one the user types
// (each side 1 to 8192 pixels), and whether the legend of the colours is drawn into it. The file
// name is asked for afterwards.
#pragma once

#include <wx/dialog.h>

class wxCheckBox;
class wxRadioButton;
class wxSpinCtrl;

namespace orvo {

class ExportPictureDialog : public wxDialog {
public:
    /// windowSize: the size of the picture on screen, offered first.
    ExportPictureDialog(wxWindow* parent, const wxSize& windowSize);

    /// The chosen size, after ShowModal returned wxID_OK.
    wxSize chosenSize() const;
    /// Picks the size as the user would (for tests): the window's when `size` is that.
    void choose(const wxSize& size);
    /// Whether the legend goes into the picture (off unless ticked).
    bool withLegend() const;
    void setWithLegend(bool on);

private:
    void updateEnabled();

    wxSize windowSize_;
    wxRadioButton* windowChoice_;
    wxRadioButton* otherChoice_;
    wxSpinCtrl* width_;
    wxSpinCtrl* height_;
    wxCheckBox* legend_;
};

}  // namespace orvo
