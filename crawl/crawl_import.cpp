// A live web site through importGraph: the crawl, then its graph written as the outline by the
// same tree builder the site-directory importer uses, so both give one graph for one site.
#include "crawl/crawl_import.h"

#include "crawl/sitemap_check.h"
#include "import/outline_writer.h"
#include "import/site_graph.h"
#include "import/warnings.h"

namespace orvo {

bool writeCrawlGraph(const crawl::CrawlResult& crawl, std::ostream& out,
                     const ImportProgress& progress, ImportResult& result) {
    if (crawl.nodes.empty()) {
        result.error = "nothing was crawled";
        return false;
    }
    SiteGraph graph;
    // The references are replayed in the order the crawl met them, so the tree is the crawl's
    // breadth-first tree: a node hangs under the page whose reference found it first.
    std::vector<SiteGraph::Index> inGraph(crawl.nodes.size(), SiteGraph::kNone);
    inGraph[0] = graph.intern(crawl.nodes[0].url);
    graph.setRoot(inGraph[0]);
    for (const auto& [from, to] : crawl.references) {
        if (from >= crawl.nodes.size() || to >= crawl.nodes.size()) continue;
        if (inGraph[from] == SiteGraph::kNone) continue;  // never: a page is found before it refers
        const SiteGraph::Reference r = graph.addReference(inGraph[from], crawl.nodes[to].url);
        if (r.node != SiteGraph::kNone) inGraph[to] = r.node;
    }
    for (std::size_t i = 0; i < crawl.nodes.size(); ++i) {
        if (inGraph[i] == SiteGraph::kNone) continue;
        graph.setGroup(inGraph[i], 0, crawl.nodes[i].kind);
        graph.setGroup(inGraph[i], 1, crawl.nodes[i].group);
    }
    if (!crawl.sitemapPages.empty()) checkAgainstSitemap(graph, crawl.sitemapPages);
    OutlineWriter writer(out);
    if (!graph.write(writer, progress, result)) return false;
    if (!writer.flush()) {
        result.error = "could not write the output";
        return false;
    }
    result.records = writer.recordsWritten();
    return true;
}

ImportResult importWebSite(const std::string& url, const ImportOptions& options, std::ostream& out,
                           const ImportProgress& progress) {
    ImportResult result;
    crawl::CrawlOptions crawlOptions = options.crawl;
    crawlOptions.startUrl = url;
    if (!options.sitemap.empty()) crawlOptions.sitemap = options.sitemap;
    crawl::CrawlCallbacks callbacks;
    callbacks.cancel = progress.cancel;
    callbacks.progress = [&progress](const crawl::CrawlStats& s) {
        progress(s.fetched, s.fetched + s.queued, "crawling");
    };
    callbacks.log = [&](const std::string& line) {
        if (progress.note) progress.note(line);
        addWarning(result, line);
    };
    const crawl::CrawlResult crawled = crawl::crawlSite(crawlOptions, callbacks);
    if (!crawled.ok) {
        result.error = crawled.error;
        finishWarnings(result);
        return result;
    }
    // A stopped crawl is still written whole: the graph of what was crawled so far.
    result.cancelled = crawled.stopped;
    ImportProgress writing = progress;
    writing.cancel = nullptr;
    result.ok = writeCrawlGraph(crawled, out, writing, result);
    finishWarnings(result);
    return result;
}

}  // namespace orvo
