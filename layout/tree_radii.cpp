#include "layout/tree_radii.h"

#include "layout/hemisphere_packing.h"

namespace orvo {

std::vector<double> treeRadii(const ViewerSettings& settings, const std::vector<uint32_t>& childStart,
                              const std::vector<uint32_t>& children, uint32_t root,
                              double unreached) {
    const size_t n = childStart.empty() ? 0 : childStart.size() - 1;
    std::vector<double> radius(n, unreached);
    if (root >= n) return radius;
    // Breadth first from the root, then backwards: every node comes after all of its children.
    std::vector<uint32_t> order;
    order.reserve(n);
    order.push_back(root);
    for (size_t at = 0; at < order.size(); ++at) {
        const uint32_t v = order[at];
        for (uint32_t k = childStart[v]; k < childStart[v + 1]; ++k) order.push_back(children[k]);
    }
    std::vector<int32_t> descendants(n, 0);
    std::vector<OrderRecord> scratch;
    for (size_t at = order.size(); at-- > 0;) {
        const uint32_t v = order[at];
        const uint32_t* kids = children.data() + childStart[v];
        sizeHemisphere(
            settings, childStart[v + 1] - childStart[v], [&](size_t i) { return radius[kids[i]]; },
            [&](size_t i) { return descendants[kids[i]]; }, scratch, radius[v], descendants[v],
            [&](double r) {
                return packBands(
                    settings, r, scratch, [&](size_t i) { return radius[kids[i]]; },
                    [](size_t, double, auto) {});
            });
    }
    return radius;
}

}  // namespace orvo
