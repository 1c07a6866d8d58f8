#include "tools/crawl_options.h"

#include <cstdint>

#include "crawl/crawl_limits.h"

namespace orvo {

void addCrawlOptions(CLI::App& app, crawl::CrawlOptions& options) {
    const char* group = "Web site crawl (INPUT is an http:// or https:// address)";
    const crawl::CrawlLimits& limits = crawl::kCrawlLimits;
    app.add_option("--connections", options.connections,
                   "Requests at once, each on a kept-alive connection (default 4)")
        ->type_name("N")
        ->check(CLI::Range(limits.connections.min, limits.connections.max))
        ->group(group);
    app.add_option("--delay", options.delaySeconds,
                   "Seconds at least between two requests to the host (default 0.2)")
        ->type_name("S")
        ->check(CLI::Range(limits.delaySeconds.min, limits.delaySeconds.max))
        ->group(group);
    app.add_option("--timeout", options.timeoutSeconds,
                   "Seconds a request may take before its page counts as unreachable (default 20)")
        ->type_name("S")
        ->check(CLI::Range(limits.timeoutSeconds.min, limits.timeoutSeconds.max))
        ->group(group);
    app.add_option("--max-pages", options.maxPages,
                   "URLs of the site in the graph at most, pages and resources alike "
                   "(default 10000)")
        ->type_name("N")
        ->check(CLI::Range(limits.maxPages.min, limits.maxPages.max))
        ->group(group);
    app.add_option("--max-depth", options.maxDepth,
                   "Links from the start page at most (default: no limit)")
        ->type_name("N")
        ->check(CLI::Range(limits.maxDepth.min, limits.maxDepth.max))
        ->group(group);
    app.add_option("--max-redirects", options.maxRedirects,
                   "Redirect hops followed from one address; the target past them is an error "
                   "and not fetched (default 10)")
        ->type_name("N")
        ->check(CLI::Range(limits.maxRedirects.min, limits.maxRedirects.max))
        ->group(group);
    app.add_flag("--whole-host", options.wholeHost,
                 "Crawl the whole host, not only the start address's folder")
        ->group(group);
    app.add_flag("--ignore-robots", options.ignoreRobots,
                 "Fetch what the site's robots.txt asks crawlers to leave alone")
        ->group(group);
    app.add_flag_callback(
           "--no-head", [&options] { options.head = false; },
           "Do not ask for images and other resources at all (their kind then comes from "
           "their names)")
        ->group(group);
    app.add_flag_callback(
           "--insecure", [&options] { options.verifyTls = false; },
           "Do not verify TLS certificates")
        ->group(group);
    app.add_option("--user-agent", options.userAgent,
                   "User-Agent of the requests; its first word is the name looked up in "
                   "robots.txt (default \"" +
                       crawl::defaultUserAgent() + "\")")
        ->type_name("TEXT")
        ->group(group);
}

}  // namespace orvo
