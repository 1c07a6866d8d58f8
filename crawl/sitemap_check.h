// A site's graph held against its sitemap: the listed pages no link reaches, and the pages links
// reach that the sitemap leaves out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "crawl/crawl_fetcher.h"

namespace orvo {

class SiteGraph;
struct ImportResult;

/// Sitemaps read at most for one check, the first included.
inline constexpr std::size_t kMaxSitemaps = 1000;
/// Bytes of one sitemap file at most, as uncompressed sitemaps are bounded by their own rules.
inline constexpr std::size_t kMaxSitemapFileBytes = std::size_t(50) << 20;

/// The normalised web addresses of a urlset's <loc> entries, in order. With `sitemaps` given, a
/// sitemap index is read too: the addresses of the sitemaps it names go there. False, with a
/// one-line reason in error, when the text is neither.
bool sitemapAddresses(std::string_view xml, std::vector<std::string>& addresses, std::string& error,
                      std::vector<std::string>* sitemaps = nullptr);

/// Reads the sitemap from a file or fetches it from a web address (with these options, each
/// response at most fetch.maxBodyBytes; a file at most kMaxSitemapFileBytes), following a
/// sitemap index to the sitemaps it names: addresses of the index's own site, or files beside the
/// index file (by their names only). At most kMaxSitemaps are read, each once. False with error
/// when the first cannot be read; one named by an index that cannot be read, or that points
/// elsewhere, is left out with a line in `notes`.
bool loadSitemap(const std::string& fileOrUrl, const crawl::FetchOptions& fetch,
                 std::vector<std::string>& addresses, std::string& error,
                 std::vector<std::string>* notes = nullptr);

/// Each listed address the tree does not hold hangs under the root in the kind-1 group "orphan";
/// each HTML page in the tree whose kind-1 group is "ok" and that the sitemap does not list
/// becomes "unlisted" (any other outcome, a redirect or an error, says more and stays).
void checkAgainstSitemap(SiteGraph& graph, const std::vector<std::string>& listed);

/// A web site on disk, served at `base` (ending in '/'), checked against the sitemap `fileOrUrl`
/// as above, a folder's address standing for its index.html. A sitemap that cannot be read, or
/// that lists nothing under `base`, leaves the pages as they are with a warning in `result`.
void checkSiteAgainstSitemap(SiteGraph& graph, const std::string& fileOrUrl,
                             const std::string& base, ImportResult& result);

}  // namespace orvo
