// The graph of a crawl, written as the outline graph format.
#pragma once

#include <iosfwd>

#include "import/crawler.h"
#include "import/import.h"

namespace orvo {

/// Writes the crawl's breadth-first tree and its further references as the outline (see
/// SiteGraph::write). False, with result.error, when the stream failed or nothing was crawled.
bool writeCrawlGraph(const crawl::CrawlResult& crawl, std::ostream& out,
                     const ImportProgress& progress, ImportResult& result);

}  // namespace orvo
