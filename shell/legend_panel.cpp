#include "shell/legend_panel.h"

#include <wx/control.h>
#include <wx/dcbuffer.h>
#include <wx/settings.h>

namespace orvo {

namespace {

wxColour toColour(const Rgb& c) {
    return wxColour(static_cast<unsigned char>(c[0] * 255.0f + 0.5f),
                    static_cast<unsigned char>(c[1] * 255.0f + 0.5f),
                    static_cast<unsigned char>(c[2] * 255.0f + 0.5f));
}

}  // namespace

LegendPanel::LegendPanel(wxWindow* parent)
    : wxScrolledWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                       wxVSCROLL | wxBORDER_NONE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    // Narrow enough to leave an 800-pixel window most of its width for the view.
    SetMinSize(wxSize(FromDIP(170), -1));
    SetScrollRate(0, rowHeight());
    // GTK's overlay scroll bars show only while the pointer moves over them: a legend cut off
    // at the window's bottom would give no sign that more rows follow.
    ShowScrollbars(wxSHOW_SB_NEVER, wxSHOW_SB_ALWAYS);
    Bind(wxEVT_PAINT, &LegendPanel::onPaint, this);
    Bind(wxEVT_LEFT_DOWN, &LegendPanel::onClick, this);
    // The second press of a quick pair arrives as a double click: it is a click of its own.
    Bind(wxEVT_LEFT_DCLICK, &LegendPanel::onClick, this);
}

int LegendPanel::rowHeight() const { return GetCharHeight() + FromDIP(6); }

void LegendPanel::setLegend(Legend legend) {
    legend_ = std::move(legend);
    measure_ = MeasureLegend{};
    SetVirtualSize(-1, rowHeight() * static_cast<int>(legend_.rows.size() + 1) + FromDIP(8));
    Refresh();
}

void LegendPanel::setMeasureLegend(MeasureLegend legend) {
    legend_ = Legend{};  // no row to click
    measure_ = std::move(legend);
    SetVirtualSize(-1, rowHeight() * 6);
    Refresh();
}

// Below the title, across the panel, a row high.
wxRect LegendPanel::rampRect() const {
    if (measure_.title.empty()) return {};
    const int pad = FromDIP(6);
    const wxPoint top = CalcScrolledPosition(wxPoint(pad, FromDIP(4) + rowHeight()));
    return wxRect(top, wxSize(GetClientSize().x - 2 * pad, rowHeight()));
}

void LegendPanel::paintMeasure(wxDC& dc) {
    const wxColour text = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT);
    const int line = rowHeight(), pad = FromDIP(6);
    const int width = GetClientSize().x;
    const int textOffset = (line - GetCharHeight()) / 2;
    dc.SetTextForeground(text);
    dc.DrawText(wxControl::Ellipsize(wxString::FromUTF8(measure_.title), dc, wxELLIPSIZE_END,
                                     width - 2 * pad),
                pad, FromDIP(4) + textOffset);
    // The ramp in as many bands as it has colours, its ends' values below it.
    const wxRect ramp(pad, FromDIP(4) + line, width - 2 * pad, line);
    const size_t steps = measure_.ramp.size();
    dc.SetPen(*wxTRANSPARENT_PEN);
    for (size_t i = 0; i < steps; ++i) {
        const int x0 = ramp.x + static_cast<int>(ramp.width * i / steps);
        const int x1 = ramp.x + static_cast<int>(ramp.width * (i + 1) / steps);
        dc.SetBrush(wxBrush(toColour(measure_.ramp[i])));
        dc.DrawRectangle(x0, ramp.y, x1 - x0, ramp.height);
    }
    const int endsY = ramp.GetBottom() + 1 + textOffset;
    const wxString low = wxString::FromUTF8(measure_.lowText);
    const wxString high = wxString::FromUTF8(measure_.highText);
    dc.DrawText(low, ramp.x, endsY);
    dc.DrawText(high, ramp.GetRight() + 1 - dc.GetTextExtent(high).x, endsY);
    if (!measure_.pointed) return;
    // The node under the pointer: a mark on the ramp at its value, then its swatch and value.
    const int markX = ramp.x + static_cast<int>(measure_.pointedPosition * (ramp.width - 1));
    dc.SetPen(wxPen(text, FromDIP(2)));
    dc.DrawLine(markX, ramp.y - FromDIP(2), markX, ramp.GetBottom() + FromDIP(3));
    const int top = FromDIP(4) + 3 * line;
    const int swatch = line - FromDIP(8);
    dc.SetPen(wxPen(text));
    dc.SetBrush(wxBrush(toColour(measure_.pointedColour)));
    dc.DrawRectangle(pad, top + (line - swatch) / 2, swatch, swatch);
    const int nameX = pad + swatch + pad;
    dc.DrawText(
        wxControl::Ellipsize(wxString::FromUTF8(measure_.pointedText), dc, wxELLIPSIZE_MIDDLE,
                             std::max(width - nameX - pad, FromDIP(20))),
        nameX, top + textOffset);
}

wxRect LegendPanel::rowRect(size_t row) const {
    const wxPoint top =
        CalcScrolledPosition(wxPoint(0, FromDIP(4) + rowHeight() * static_cast<int>(row + 1)));
    return wxRect(top, wxSize(GetClientSize().x, rowHeight()));
}

int LegendPanel::rowAt(const wxPoint& client) const {
    const wxPoint p = CalcUnscrolledPosition(client);
    const int offset = p.y - FromDIP(4) - rowHeight();
    if (offset < 0) return -1;
    const auto row = static_cast<size_t>(offset / rowHeight());
    return row < legend_.rows.size() ? static_cast<int>(row) : -1;
}

int LegendPanel::arrowWidth() const { return rowHeight(); }

wxRect LegendPanel::arrowRect(size_t row) const {
    const wxRect r = rowRect(row);
    return wxRect(r.GetRight() + 1 - arrowWidth(), r.y, arrowWidth(), r.height);
}

void LegendPanel::onClick(wxMouseEvent& event) {
    const int row = rowAt(event.GetPosition());
    if (row < 0) return;
    const LegendRow& r = legend_.rows[static_cast<size_t>(row)];
    if (arrowRect(static_cast<size_t>(row)).Contains(event.GetPosition())) {
        if (!r.hidden && onNextClicked) onNextClicked(r);
        return;
    }
    if (onRowClicked) onRowClicked(r);
}

void LegendPanel::onPaint(wxPaintEvent& /*event*/) {
    wxAutoBufferedPaintDC dc(this);
    DoPrepareDC(dc);
    const wxColour background = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
    const wxColour text = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT);
    const wxColour faint = wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT);
    dc.SetBackground(wxBrush(background));
    dc.Clear();
    dc.SetFont(GetFont());
    if (!measure_.title.empty()) {
        paintMeasure(dc);
        return;
    }
    const int line = rowHeight(), pad = FromDIP(6), arrow = arrowWidth();
    const int width = GetClientSize().x - arrow;
    const int swatch = line - FromDIP(8);
    dc.SetTextForeground(text);
    dc.DrawText(wxControl::Ellipsize(wxString::FromUTF8(legend_.title), dc, wxELLIPSIZE_END,
                                     width - 2 * pad),
                pad, FromDIP(4) + (line - GetCharHeight()) / 2);
    for (size_t i = 0; i < legend_.rows.size(); ++i) {
        const LegendRow& row = legend_.rows[i];
        const int top = FromDIP(4) + line * static_cast<int>(i + 1);
        const int y = top + (line - swatch) / 2;
        // A hidden group's swatch is only an outline in its colour.
        dc.SetPen(wxPen(row.hidden ? toColour(row.colour) : text));
        dc.SetBrush(row.hidden ? *wxTRANSPARENT_BRUSH : wxBrush(toColour(row.colour)));
        dc.DrawRectangle(pad, y, swatch, swatch);
        const wxString count = wxString::FromUTF8(legendCount(row.nodes));
        const int countWidth = dc.GetTextExtent(count).x;
        const int nameX = pad + swatch + pad;
        const int room = width - nameX - countWidth - 2 * pad;
        dc.SetTextForeground(row.hidden ? faint : text);
        const int textY = top + (line - GetCharHeight()) / 2;
        dc.DrawText(wxControl::Ellipsize(wxString::FromUTF8(row.name), dc, wxELLIPSIZE_END,
                                         std::max(room, FromDIP(20))),
                    nameX, textY);
        dc.DrawText(count, width - pad - countWidth, textY);
        if (!row.hidden) {
            // A small triangle pointing right: to the row's next node.
            const int cx = width + arrow / 2, cy = top + line / 2, h = swatch / 2;
            const wxPoint tip[3] = {{cx - h / 2, cy - h}, {cx - h / 2, cy + h}, {cx + h, cy}};
            dc.SetPen(wxPen(text));
            dc.SetBrush(wxBrush(text));
            dc.DrawPolygon(3, tip);
        }
    }
}

}  // namespace orvo
