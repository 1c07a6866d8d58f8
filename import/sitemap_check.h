// A site's graph held against its sitemap: the listed pages no link reaches, and the pages links
// reach that the sitemap leaves out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "import/crawl_fetcher.h"

namespace orvo {

class SiteGraph;

/// The normalised web addresses of a urlset's <loc> entries, in order. False, with a one-line
/// reason in error, when the text is not a urlset (a sitemap index's sitemaps are not followed).
bool sitemapAddresses(std::string_view xml, std::vector<std::string>& addresses,
                      std::string& error);

/// Reads the sitemap from a file or fetches it from a web address (with these options); false
/// with error.
bool loadSitemap(const std::string& fileOrUrl, const crawl::FetchOptions& fetch,
                 std::vector<std::string>& addresses, std::string& error);

/// Each listed address the tree does not hold hangs under the root in the kind-1 group "orphan";
/// each HTML page in the tree whose kind-1 group is "ok" and that the sitemap does not list
/// becomes "unlisted" (any other outcome, a redirect or an error, says more and stays).
void checkAgainstSitemap(SiteGraph& graph, const std::vector<std::string>& listed);

}  // namespace orvo
