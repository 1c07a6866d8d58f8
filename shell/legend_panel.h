// The legend beside the view: a row per group of the kind being coloured (its colour, name and
// node count, largest first, the rest as "other"); a click on a row hides or shows its nodes,
// and the arrow beside its count flies to its next node.
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
    static constexpr size_t kRows = kLegendRows;

    void setLegend(Legend legend);
    const Legend& legend() const { return legend_; }
    /// The row under a point of the panel's client area (scrolling taken into account); -1 for
    /// none, and for the title.
    int rowAt(const wxPoint& client) const;
    /// Where row `row` is drawn, in client coordinates.
    wxRect rowRect(size_t row) const;

    /// Where the arrow of row `row` is drawn, in client coordinates: a click on it flies to the
    /// row's next node.
    wxRect arrowRect(size_t row) const;

    /// Called when a row is clicked (any row: a group, "other", "no group").
    std::function<void(const LegendRow& row)> onRowClicked;
    /// Called when the arrow beside a row's count is clicked.
    std::function<void(const LegendRow& row)> onNextClicked;

private:
    void onPaint(wxPaintEvent& event);
    void onClick(wxMouseEvent& event);
    int rowHeight() const;
    int arrowWidth() const;

    Legend legend_;
};

}  // namespace orvo
