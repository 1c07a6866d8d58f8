// The legend beside the view: a row per group of the kind being coloured (its colour, name and
// node count, largest first, the rest as "other"); a click on a group's row hides or shows it.
// Hidden groups show an empty swatch and grey text. Scrolls when the rows outgrow the window.
#pragma once

#include <wx/scrolwin.h>

#include <functional>

#include "glue/group_legend.h"

namespace orvo {

class LegendPanel : public wxScrolledWindow {
public:
    explicit LegendPanel(wxWindow* parent);

    /// The group rows the panel shows at most before "other".
    static constexpr size_t kRows = 24;

    void setLegend(Legend legend);
    const Legend& legend() const { return legend_; }
    /// The row under a point of the panel's client area (scrolling taken into account); -1 for
    /// none, and for the title.
    int rowAt(const wxPoint& client) const;
    /// Where row `row` is drawn, in client coordinates.
    wxRect rowRect(size_t row) const;

    /// Called when a group's row is clicked.
    std::function<void(const LegendRow& row)> onGroupClicked;

private:
    void onPaint(wxPaintEvent& event);
    void onClick(wxMouseEvent& event);
    int rowHeight() const;

    Legend legend_;
};

}  // namespace orvo
