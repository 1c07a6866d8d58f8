#include "crawl/import_graph.h"

#include "crawl/crawl_import.h"
#include "crawl/sitemap_check.h"
#include "import/readers.h"
#include "import/site_graph.h"

namespace orvo {

ImportResult importGraph(const std::string& input, ImportFormat format,
                         const ImportOptions& options, std::ostream& out,
                         const ImportProgress& progress) {
    if (format == ImportFormat::Url) return importWebSite(input, options, out, progress);
    if (format != ImportFormat::Site || options.sitemap.empty())
        return importFromFiles(input, format, options, out, progress);
    ImportResult result;
    SiteGraph graph;
    std::string base;
    const bool read = readSiteDirectory(input, options, graph, base, progress, result);
    if (read) checkSiteAgainstSitemap(graph, options.sitemap, base, result);
    return finishSiteDirectory(read, graph, out, progress, result);
}

}  // namespace orvo
