// Site-shaped graph files of any size, written as they are made: where orvo-gen plans the whole
// site in memory first (some 36 bytes a node), this generator works out every node from its
// number, so that it holds only the folder it is in and a megabyte of text, whatever the count.
// Its sites have the same make-up as orvo-gen's (the folder tree, the file types and their
// shares, orphans, externals, cross links and pages listed first elsewhere, so moved by the
// reader), not the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>

#include "tools/site_generator.h"

namespace orvo {

/// The most nodes a streamed site may have: node numbers are 32-bit in a map.
constexpr int64_t kStreamedSiteMaxNodes = 4'000'000'000;

/// Told, every megabyte or so, how many records have been written.
using StreamedSiteProgress = std::function<void(int64_t records)>;

/// Writes the graph text to out (options.nodes distinct ids, clamped to 1 ..
/// kStreamedSiteMaxNodes). Returns what it wrote; bytes is 0 when out failed.
SiteSummary writeStreamedSite(std::ostream& out, const SiteOptions& options,
                              const StreamedSiteProgress& progress = {});

}  // namespace orvo
