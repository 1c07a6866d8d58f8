// Turning any input a user has into the outline graph format that the viewer reads: the inputs on
// disk through their readers, a live web site through its crawl, and a site checked against its
// sitemap on the way.
#pragma once

#include <iosfwd>
#include <string>

#include "import/import.h"

namespace orvo {

/// Writes the outline graph text (no position record) to `out`. Nothing is written when the
/// input cannot be read at all; after a failure part way, `out` holds an incomplete outline that
/// callers must discard. A Url is crawled; a Site with options.sitemap has the pages the sitemap
/// lists that no link reaches hung under its root as "orphan", and the pages it leaves out marked
/// "unlisted".
ImportResult importGraph(const std::string& input, ImportFormat format,
                         const ImportOptions& options, std::ostream& out,
                         const ImportProgress& progress = {});

}  // namespace orvo
