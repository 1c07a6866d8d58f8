#include "render/label_space.h"

#include <algorithm>
#include <cmath>

namespace orvo {

namespace {

// About a short label's width and one text line's height.
constexpr int kCellWidth = 64;
constexpr int kCellHeight = 16;

}  // namespace

void LabelSpace::reset(int width, int height) {
    for (uint32_t cell : usedCells_) cells_[cell].clear();
    usedCells_.clear();
    boxes_.clear();
    columns_ = std::max(1, (width + kCellWidth - 1) / kCellWidth);
    rows_ = std::max(1, (height + kCellHeight - 1) / kCellHeight);
    const size_t count = static_cast<size_t>(columns_) * static_cast<size_t>(rows_);
    if (cells_.size() < count) cells_.resize(count);
}

// Boxes reaching past the window are filed in its edge cells: two of them can only overlap
// where both reach, and that is inside the cells they share.
LabelSpace::CellRange LabelSpace::cellsOf(const LabelBox& box) const {
    auto column = [&](double x) {
        return static_cast<int>(std::clamp(std::floor(x / kCellWidth), 0.0, columns_ - 1.0));
    };
    auto row = [&](double y) {
        return static_cast<int>(std::clamp(std::floor(y / kCellHeight), 0.0, rows_ - 1.0));
    };
    if (!(box.x0 < box.x1) || !(box.y0 < box.y1)) return {0, 0, -1, -1};  // empty or not finite
    return {column(box.x0), row(box.y0), column(box.x1), row(box.y1)};
}

bool LabelSpace::isFree(const LabelBox& box) const {
    const CellRange r = cellsOf(box);
    for (int cy = r.cy0; cy <= r.cy1; ++cy) {
        for (int cx = r.cx0; cx <= r.cx1; ++cx) {
            for (uint32_t i : cells_[static_cast<size_t>(cy) * columns_ + cx]) {
                if (boxes_[i].overlaps(box)) return false;
            }
        }
    }
    return true;
}

void LabelSpace::add(const LabelBox& box) {
    const CellRange r = cellsOf(box);
    if (r.empty()) return;
    const auto index = static_cast<uint32_t>(boxes_.size());
    boxes_.push_back(box);
    for (int cy = r.cy0; cy <= r.cy1; ++cy) {
        for (int cx = r.cx0; cx <= r.cx1; ++cx) {
            const auto cell = static_cast<uint32_t>(cy * columns_ + cx);
            if (cells_[cell].empty()) usedCells_.push_back(cell);
            cells_[cell].push_back(index);
        }
    }
}

}  // namespace orvo
