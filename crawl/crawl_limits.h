// The one table of the crawl's limits, read by the command line, the web site dialog and the
// settings the viewer keeps between runs, so that all three accept the same values.
#pragma once

#include <cstddef>

namespace orvo::crawl {

template <typename T>
struct LimitRange {
    T min;
    T max;
    constexpr bool holds(T value) const { return value >= min && value <= max; }
};

struct CrawlLimits {
    /// Requests at once, each on a kept-alive connection (the per-host delay still spaces them).
    LimitRange<int> connections{1, 64};
    /// Seconds at least between two requests to the host.
    LimitRange<double> delaySeconds{0.0, 3600.0};
    /// Seconds a request may take.
    LimitRange<double> timeoutSeconds{0.001, 3600.0};
    /// URLs of the site in the graph at most.
    LimitRange<std::size_t> maxPages{1, 100'000'000};
    /// Links from the start page at most (a negative depth in the options means no limit).
    LimitRange<int> maxDepth{0, 1'000'000};
    /// Redirect hops followed from one address.
    LimitRange<int> maxRedirects{0, 1000};
};

inline constexpr CrawlLimits kCrawlLimits{};

}  // namespace orvo::crawl
