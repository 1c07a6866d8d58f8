#include "render/measure_colouring.h"

#include <algorithm>
#include <boost/math/tools/color_maps.hpp>
#include <cmath>
#include <limits>

namespace orvo {

namespace {

// Counts start at 0, whose log is no number: they are spread as log(1 + value).
double scaled(double value, Measure m, bool logScale) {
    if (!logScale) return value;
    return m == Measure::Score ? std::log(value) : std::log1p(value);
}

}  // namespace

Rgb rampColour(double t) {
    const std::array<float, 3> c =
        boost::math::tools::viridis(static_cast<float>(std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0)));
    return {c[0], c[1], c[2]};
}

double MeasureColouring::rampPosition(double value) const {
    const double a = scaled(low, measure, logScale), b = scaled(high, measure, logScale);
    if (!(b > a)) return 0.0;
    return std::clamp((scaled(value, measure, logScale) - a) / (b - a), 0.0, 1.0);
}

MeasureColouring colourByMeasure(const NodeMeasures& measures, Measure m, const Rgb& none) {
    MeasureColouring c;
    c.measure = m;
    c.logScale = measureIsHeavyTailed(m);
    const size_t n = measures.size();
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (size_t i = 0; i < n; ++i) {
        const double v = measures.value(m, i);
        if (m == Measure::Depth && v < 0) continue;
        low = std::min(low, v);
        high = std::max(high, v);
    }
    if (low > high) low = high = 0.0;
    c.low = low;
    c.high = high;
    c.rgb.resize(3 * n);
    for (size_t i = 0; i < n; ++i) {
        const double v = measures.value(m, i);
        const Rgb colour = m == Measure::Depth && v < 0 ? none : rampColour(c.rampPosition(v));
        std::copy(colour.begin(), colour.end(), c.rgb.begin() + static_cast<std::ptrdiff_t>(3 * i));
    }
    return c;
}

}  // namespace orvo
