// What a user asks of the crawl of a live web site: where it starts, its limits and its manners.
// A plain value, kept with the other inputs' choices (ImportOptions) and in the viewer's settings;
// the crawl that takes it lives above the importers.
#pragma once

#include <cstddef>
#include <string>

namespace orvo::crawl {

struct CrawlOptions {
    std::string startUrl;
    int connections = 4;
    double delaySeconds = 0.2;  // between two requests to the same host
    double timeoutSeconds = 20;
    std::size_t maxPages = 10000;  // URLs of the site in the graph, pages and resources alike
    int maxDepth = -1;             // links from the start page; -1: no limit
    bool wholeHost = false;        // the whole host, not only the start URL's folder
    bool ignoreRobots = false;
    bool head = true;  // ask for non-HTML resources with HEAD (false: do not ask at all)
    bool verifyTls = true;
    std::string userAgent;  // empty: defaultUserAgent()
    std::size_t maxBodyBytes = 8u << 20;
    std::size_t maxReferencesPerPage = 5000;
    int maxRedirects = 10;  // hops followed from one address; the next target is not fetched
    /// The sitemap the pages are checked against, a file or an address; empty: the site's own
    /// /sitemap.xml when there is one.
    std::string sitemap;
};

}  // namespace orvo::crawl
