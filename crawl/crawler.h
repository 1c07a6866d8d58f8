// The crawl of a live web site: breadth-first from a start URL over HTTP(S), politely (robots.txt,
// a delay per host, a fixed number of connections) and within limits (pages, depth, time and
// bytes per response). The pages and their references, in the order a breadth-first walk meets
// them, become the same graph the site-directory importer builds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "import/crawl_options.h"

namespace orvo::crawl {

/// "orvo/VERSION (+site structure crawl)".
std::string defaultUserAgent();

struct CrawlStats {
    std::uint64_t fetched = 0;  // responses received (pages and HEAD answers)
    std::uint64_t queued = 0;   // URLs found and waiting for their request
    std::uint64_t failed = 0;   // error statuses, timeouts, failed connections
    std::uint64_t bytes = 0;    // received on the wire
    double elapsedSeconds = 0;
    double networkWaitSeconds = 0;  // of the elapsed time, waiting with nothing else to do
    std::uint64_t requests = 0;
};

struct CrawlCallbacks {
    std::function<void(const CrawlStats&)> progress;  // a few times a second
    std::function<void(const std::string&)> log;      // one line per event worth telling
    const std::atomic<bool>* cancel = nullptr;        // set: stop and keep what was crawled
};

/// The kind-1 groups of a crawl: what asking for the node's address gave.
namespace outcome {
inline constexpr const char* kOk = "ok";                    // 2xx (and 304)
inline constexpr const char* kRedirect = "redirect";        // 3xx with a target
inline constexpr const char* kMissing = "missing";          // 404, 410
inline constexpr const char* kError = "error";              // other 4xx and 5xx, too many hops
inline constexpr const char* kUnreachable = "unreachable";  // no answer: network, timeout
inline constexpr const char* kExternal = "external";        // outside the crawl: never asked
inline constexpr const char* kRobots = "robots";            // disallowed by robots.txt
inline constexpr const char* kUnfetched = "unfetched";      // of the site, not asked (limits)
}  // namespace outcome

/// One node of the crawl: its URL, its kind-0 group (content kind) and kind-1 group (its
/// outcome, see above), and the node whose reference found it first (its parent in the
/// breadth-first tree; a redirect's target hangs under the redirect).
struct CrawledNode {
    static constexpr std::uint32_t kNoParent = 0xffffffffu;
    std::string url;
    std::string kind;
    std::string group;
    std::uint32_t parent = kNoParent;
};

struct CrawlResult {
    bool ok = false;       // false: the start URL could not be used at all (see error)
    bool stopped = false;  // cancelled before the end; the nodes are what was crawled so far
    std::string error;
    std::vector<CrawledNode> nodes;  // the start URL first, then in breadth-first order
    /// Every reference (from, to) as node indices, in the order the walk met them: a page's in
    /// document order, a redirect's target when the walk reached the redirect. A node's first
    /// reference is the one that found it.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> references;
    /// The addresses within the crawl's scope that its sitemap lists; empty when it found none.
    std::vector<std::string> sitemapPages;
    CrawlStats stats;
};

/// Crawls from options.startUrl. Returns when the site within the limits is crawled, or when
/// callbacks.cancel is set (then with what was crawled so far).
CrawlResult crawlSite(const CrawlOptions& options, const CrawlCallbacks& callbacks);

}  // namespace orvo::crawl
