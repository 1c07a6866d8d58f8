// The arithmetic of a node's hemisphere, written once over any store of nodes: its radius from
// its children's, and its children packed in bands on it. The layout applies it to the graph's
// nodes; the column writer of big maps to plain arrays, and both must get the same bits.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geometry/proj_point.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace hemisphere {
constexpr double kTwoPi = 6.28318530718;
// Bands past this polar angle have run over the hemisphere's equator.
constexpr double kEquator = 1.57;
// The enlarged hemisphere is the cap actually used plus 7.6 per cent.
constexpr double kCapMargin = 1.076;

inline double clampRadius(const ViewerSettings& settings, double r) {
    if (r < settings.minRadius) r = settings.minRadius;
    if (r > settings.maxRadius) r = settings.maxRadius;
    return r;
}
}  // namespace hemisphere

/// Packs the children, in `order`, on a hemisphere of this radius: the first at the pole
/// (straight along -x), the others in bands of growing polar angle, each band filled by azimuth.
/// radiusOf(i) is the radius of child i (a position in the parent's children); place(i, d,
/// direction) hears where it goes. Returns the polar angle of the last band used (0 when every
/// child sits at the pole).
template <typename RadiusOf, typename Place>
double packBands(const ViewerSettings& settings, double radius,
                 const std::vector<OrderRecord>& order, RadiusOf radiusOf, Place place) {
    using hemisphere::kTwoPi;
    double bandAngle = 0.0;
    double azimuth = 0.0;
    if (order.empty()) return bandAngle;
    const double s = std::sinh(radius);

    // Every child sits at the same distance.
    const double d = radius * (1.0 + settings.childSpacing * std::tanh(radius));

    bool newBand = false;
    double maxR = 0.0;
    double step = 0.0;
    // sin and cos of bandAngle, refreshed whenever it changes.
    double sinBand = 0.0;
    double cosBand = 1.0;
    // Runs of children share one radius (leaves above all): their tanh and, within a band,
    // their angular step are computed once per run.
    double tanhKey = std::nan(""), tanhR = 0.0;
    double stepKey = std::nan(""), stepOfKey = 0.0;
    auto bandStep = [&](double r) {
        if (r != stepKey) {
            stepKey = r;
            stepOfKey = std::atan(tanhR / (sinBand * s));
        }
        return stepOfKey;
    };
    for (const OrderRecord& record : order) {
        const double r = radiusOf(static_cast<size_t>(record.index));
        if (r != tanhKey) {
            tanhKey = r;
            tanhR = std::tanh(r);
            stepKey = std::nan("");
        }
        // Only the very first child finds both angles at 0 with no band pending.
        const bool veryFirst = bandAngle == 0.0 && azimuth == 0.0 && !newBand;
        if (!veryFirst) {
            bool startBand = newBand;
            if (bandAngle != 0.0) {
                step = bandStep(r);
                if (step + azimuth > kTwoPi) {
                    // The band is full: the next one begins where this one wrapped.
                    azimuth -= kTwoPi;
                    startBand = true;
                }
            }
            if (startBand) {
                bandAngle += std::atan(std::tanh(maxR) / s);
                bandAngle += std::atan(tanhR / s);
                sinBand = std::sin(bandAngle);
                cosBand = std::cos(bandAngle);
                maxR = r;
                newBand = false;
                stepKey = std::nan("");  // the band changed
                step = bandStep(r);
            }
            azimuth += step;
        }

        place(static_cast<size_t>(record.index), d, [&] {
            const double ringRadius = radius * sinBand;
            return ProjPoint(radius * cosBand, ringRadius * std::cos(azimuth),
                             ringRadius * std::sin(azimuth), 1.0);
        });

        if (r > maxR) maxR = r;
        if (bandAngle == 0.0) {
            newBand = true;  // the first child sits alone at the pole
        } else {
            azimuth += step;  // the trailing half of the child's angular width
        }
    }
    return bandAngle;
}

/// A node's hemisphere from its `count` children, which carry their final radius (radiusOf(i))
/// and descendant count (descendantsOf(i)): sets `radius` and `descendants`, leaves the children
/// in descending count in `order`, and calls pack(radius) -> last band angle to place them (the
/// second time on an enlarged hemisphere when the bands ran past the equator). Returns the last
/// band angle of the final placement.
template <typename RadiusOf, typename DescendantsOf, typename Pack>
double sizeHemisphere(const ViewerSettings& settings, size_t count, RadiusOf radiusOf,
                      DescendantsOf descendantsOf, std::vector<OrderRecord>& order,
                      double& radius, int32_t& descendants, Pack pack) {
    using hemisphere::kTwoPi;
    descendants = 0;
    order.clear();
    if (count == 0) {
        // Nothing to place: the radius of an empty hemisphere, clamped, i.e. the minimum.
        radius = hemisphere::clampRadius(settings, 0.0);
        return 0.0;
    }
    double area = 0.0;
    double coshKey = std::nan(""), coshOfKey = 0.0;  // runs of equal radii (leaves)
    for (size_t i = 0; i < count; ++i) {
        const double childRadius = radiusOf(i);
        if (childRadius != coshKey) {
            coshKey = childRadius;
            coshOfKey = std::cosh(coshKey);
        }
        area += (coshOfKey - 1.0) * kTwoPi;  // hyperbolic area of a disc
        const int32_t below = descendantsOf(i);
        descendants += below + 1;
        order.push_back({static_cast<float>(below), static_cast<int>(i)});
    }
    sortByDescendingCount(order);

    double r = hemisphere::clampRadius(settings, hemisphereRadius(area, count));
    radius = r;
    double bandAngle = pack(r);
    if (bandAngle > hemisphere::kEquator) {
        // Not clamped again: the children must fit even when that exceeds the maximum.
        const double usedCap = std::pow(std::sinh(r), 2.0) * (1.0 - std::cos(bandAngle));
        r = asinh(std::sqrt(usedCap * hemisphere::kCapMargin));
        radius = r;
        bandAngle = pack(r);
    }
    return bandAngle;
}

}  // namespace orvo
