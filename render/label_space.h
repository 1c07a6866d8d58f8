// The window space already taken by labels in the current frame: a label whose box would overlap
// one of them is left out, so that the labels drawn first (the nearest and largest nodes) win.
#pragma once

#include <cstdint>
#include <vector>

namespace orvo {

/// A label's box in window pixels (GL window coordinates, y up), edges included.
struct LabelBox {
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;

    bool overlaps(const LabelBox& o) const {
        return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1;
    }
    bool contains(double x, double y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

/// Boxes filed in a grid of window cells, so that a test looks only at the boxes near it. Its
/// buffers are kept from frame to frame.
class LabelSpace {
public:
    /// Forgets every box; the window is width x height pixels.
    void reset(int width, int height);
    /// Whether the box overlaps no box added since the last reset.
    bool isFree(const LabelBox& box) const;
    void add(const LabelBox& box);

private:
    struct CellRange {
        int cx0, cy0, cx1, cy1;
        bool empty() const { return cx0 > cx1 || cy0 > cy1; }
    };
    CellRange cellsOf(const LabelBox& box) const;

    int columns_ = 0, rows_ = 0;
    std::vector<LabelBox> boxes_;
    std::vector<std::vector<uint32_t>> cells_;  // indices into boxes_
    std::vector<uint32_t> usedCells_;           // cells holding an index, to empty at reset
};

}  // namespace orvo
