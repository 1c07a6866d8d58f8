// Turning what users have (a web site on disk, a sitemap, any directory, an edge list, a DOT,
// GraphML, GML or Pajek file) into the outline graph format that the viewer reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/crawl_options.h"

namespace orvo {

enum class ImportFormat {
    Outline,
    Site,
    Dir,
    Sitemap,
    Csv,
    Dot,
    GraphMl,
    Url,
    Gexf,
    Json,
    Gml,
    Pajek,
};

/// What an input is. An http:// or https:// address is a Url; a directory with an index.html
/// a Site, any other directory a Dir. A regular file is told first by what it holds: XML whose
/// root element is urlset or sitemapindex a Sitemap, graphml GraphML, text starting with
/// "graph [" GML (perhaps after a Creator or Version key), a first line "*Vertices" or
/// "*Network" Pajek, text starting with "graph", "digraph" or "strict" DOT, XML whose root element
/// is gexf GEXF, text whose first byte after blanks is '{' and whose first 16 KiB hold "nodes",
/// "links", "edges" or "elements" in quotes a JSON graph; then by its name: sitemap.xml a Sitemap,
/// .csv and .tsv an edge list, .dot and .gv DOT, .graphml GraphML, .gml GML, .net and .paj Pajek,
/// .graph the outline format, .gexf GEXF, .json a JSON graph; then by its first line: a comma or a
/// tab in a line that is not an outline record makes an edge list. Anything else is the outline
/// format itself.
ImportFormat guessImportFormat(const std::string& input);

/// site, dir, sitemap, csv, dot, graphml, gexf, json, gml, pajek (also outline and url); nullopt
/// for any other name.
std::optional<ImportFormat> importFormatFromName(std::string_view name);
/// The name importFormatFromName takes for the format.
std::string_view importFormatName(ImportFormat format);

/// Which way the edges of a graph are walked to make its tree: along them (from a node to what it
/// links to), against them, both ways, or whichever of the first two reaches more nodes.
enum class WalkDirection { Out, In, Both, Auto };

/// out, in, both, auto; nullopt for any other name.
std::optional<WalkDirection> walkDirectionFromName(std::string_view name);

struct ImportOptions {
    /// Site: the start page, relative to the directory (default index.html).
    std::string start;
    /// Site: the address the directory is served at; ids are this joined with the file's path.
    std::string baseUrl = "http://localhost/";
    /// Site: also hang files nothing links to under the start page (kind-1 group "orphan").
    bool orphans = false;
    /// Edge lists: "yes", "no" or "auto" (the first line is a header when neither of its first
    /// two fields occurs as an id anywhere else).
    std::string header = "auto";
    /// Edge lists, DOT, GraphML, GML, Pajek: the node attribute (or column name or 1-based
    /// number, or the key of a Pajek vertex line) that gives the kind-0 group.
    std::string group;
    /// Edge lists, DOT, GraphML: the id of the tree's root (default: the node with the most
    /// edges to walk, the first seen on a tie).
    std::string root;
    /// Edge lists, DOT, GraphML: which way edges are walked to make the tree. The links keep
    /// the file's direction: only tree links run from parent to child whatever the walk.
    WalkDirection direction = WalkDirection::Auto;
    /// Site and Url: a sitemap (file or address) the pages are checked against: the pages it
    /// lists that no link reaches hang under the root as "orphan", the pages links reach that
    /// it leaves out are "unlisted". A crawl without it uses the site's own /sitemap.xml.
    std::string sitemap;
    /// Files larger than this are not parsed (they stay nodes).
    uint64_t maxParseBytes = 64ull << 20;
    /// Url: the crawl's limits and manners (its start URL is the input).
    crawl::CrawlOptions crawl;
};

struct ImportProgress {
    /// Called now and then with the work done out of the work known so far (0 when unknown)
    /// and what is being done ("reading", "writing", a file name, ...).
    std::function<void(uint64_t done, uint64_t total, std::string_view what)> report;
    /// Called with a line the user may want to see as it happens (a page a crawl could not
    /// fetch, and why); the same lines are among the result's warnings.
    std::function<void(std::string_view line)> note;
    /// When set and true, the import stops soon and returns with `cancelled`. A crawl (Url)
    /// stops too, but writes the graph of what it crawled so far and reports ok.
    const std::atomic<bool>* cancel = nullptr;

    bool cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
    void operator()(uint64_t done, uint64_t total, std::string_view what) const {
        if (report) report(done, total, what);
    }
};

struct ImportResult {
    bool ok = false;
    bool cancelled = false;
    /// Set when !ok: one line naming the file and the line or element where that applies.
    std::string error;
    /// Things the user should know that did not stop the import (skipped entries, records too
    /// long for the format, ...), one line each.
    std::vector<std::string> warnings;
    /// Warnings past the first few dozen are only counted here (the last entry of `warnings`
    /// then says how many).
    uint64_t warningsNotListed = 0;
    /// Records written.
    uint64_t records = 0;
    /// What the nodes' groups were taken from: the node attribute's name, or the column's header
    /// name ("column N" without a header); empty when they have none.
    std::string groupedBy;
};

/// Writes the outline graph text (no position record) of an input on disk to `out`. Nothing is
/// written when the input cannot be read at all; after a failure part way, `out` holds an
/// incomplete outline that callers must discard. The crawl of a web address (Url) and the check
/// of a site against its sitemap are made by importGraph, on top of this (crawl/); here a Url is
/// an error and `options.sitemap` is not read.
ImportResult importFromFiles(const std::string& input, ImportFormat format,
                             const ImportOptions& options, std::ostream& out,
                             const ImportProgress& progress = {});

}  // namespace orvo
