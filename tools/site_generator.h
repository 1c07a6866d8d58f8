// Makes graph files shaped like a crawled web site: html pages in a directory tree with images,
// text and other files under them, orphan and external nodes, cross links and moved pages.
// Seeded and deterministic: the same options always give the same bytes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace orvo {

struct SiteOptions {
    /// Number of distinct ids (nodes of the graph once read); at least 1.
    int64_t nodes = 3000;
    uint64_t seed = 1;
};

/// What one generated file holds.
struct SiteSummary {
    int64_t nodes = 0;          // distinct ids
    int64_t records = 0;        // node records (lines), the position record not counted
    int64_t repeatRecords = 0;  // records of an id that was listed before
    int64_t preListings = 0;    // pages first listed under a far page, later under their own folder
    int64_t bytes = 0;          // size of the text
};

/// Writes the graph text to out. Returns what it wrote; bytes is 0 when out failed.
SiteSummary writeSiteGraph(std::ostream& out, const SiteOptions& options);

/// The graph text as a string.
std::string generateSiteGraph(const SiteOptions& options, SiteSummary* summary = nullptr);

/// Writes the graph text to a file; false (and errno set) when it cannot be written.
bool writeSiteGraphFile(const std::string& path, const SiteOptions& options,
                        SiteSummary* summary = nullptr);

}  // namespace orvo
