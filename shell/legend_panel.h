// The legend beside the view: a row per group of the kind being coloured (its colour, name and
// node count, largest first, the rest as "other"); a click on a row hides or shows its nodes,
// and the arrow beside its count flies to its next node.
// Hidden groups show an empty swatch and grey text. Scrolls when the rows outgrow the window.
#pragma once

#include <wx/scrolwin.h>

#include <functional>

#include "glue/group_legend.h"
#include "glue/measure_legend.h"

namespace orvo {

class LegendPanel : public wxScrolledWindow {
public:
    explicit LegendPanel(wxWindow* parent);

    /// The group rows the panel shows at most before "other".
    static constexpr size_t kRows = kLegendRows;

    void setLegend(Legend legend);
    const Legend& legend() const { return legend_; }
    /// Shows a measure's ramp instead of group rows (until the next setLegend): its title, the
    /// ramp with the values at its ends, and the node under the pointer with its value, its
    /// colour and a mark on the ramp.
    void setMeasureLegend(MeasureLegend legend);
    const MeasureLegend& measureLegend() const { return measure_; }
    /// Where the ramp is drawn, in client coordinates (empty without a measure).
    wxRect rampRect() const;
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
    void paintMeasure(wxDC& dc);

    Legend legend_;
    MeasureLegend measure_;  // shown while its title is not empty
};

}  // namespace orvo
