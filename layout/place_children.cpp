// Placement of a node's children on its hemisphere: the first child at the pole (straight along
// -x), the others packed in bands of growing polar angle, each band filled by azimuth.
#include <cmath>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"
#include "graph/graph.h"
#include "layout/layout.h"
#include "settings/viewer_settings.h"

namespace orvo {

namespace {
constexpr double kTwoPi = 6.28318530718;
}  // namespace

double placeChildren(const ViewerSettings& settings, Node* anchor, bool upward, Node* target,
                     const std::vector<OrderRecord>& order) {
    Node* p = target;
    double bandAngle = 0.0;
    double azimuth = 0.0;
    if (order.empty()) return bandAngle;
    const double radius = p->radius;
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
        Node* k = p->children[record.index];
        const double r = k->radius;
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

        const double ringRadius = radius * sinBand;
        const ProjPoint direction(radius * cosBand, ringRadius * std::cos(azimuth),
                                  ringRadius * std::sin(azimuth), 1.0);
        // Only the numbers are kept; composition builds the transform from them.
        if (upward && k == anchor) {
            p->setPlacement(LocalPlacement::Inverse, d, direction);
        } else {
            k->setPlacement(LocalPlacement::Forward, d, direction);
        }

        if (r > maxR) maxR = r;
        if (bandAngle == 0.0) {
            newBand = true;  // the first child sits alone at the pole
        } else {
            azimuth += step;  // the trailing half of the child's angular width
        }
    }
    return bandAngle;
}

}  // namespace orvo
