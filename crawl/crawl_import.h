// The graph of a crawl, written as the outline graph format.
#pragma once

#include <iosfwd>
#include <string>

#include "crawl/crawler.h"
#include "import/import.h"

namespace orvo {

/// Writes the crawl's breadth-first tree and its further references as the outline (see
/// SiteGraph::write). False, with result.error, when the stream failed or nothing was crawled.
bool writeCrawlGraph(const crawl::CrawlResult& crawl, std::ostream& out,
                     const ImportProgress& progress, ImportResult& result);

/// Crawls the site at `url` with options.crawl (and options.sitemap, when given, over the crawl's
/// own) and writes its graph; a cancelled crawl still writes what it crawled and is ok.
ImportResult importWebSite(const std::string& url, const ImportOptions& options, std::ostream& out,
                           const ImportProgress& progress);

}  // namespace orvo
