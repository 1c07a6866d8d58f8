// A crawl through importGraph gives the graph its golden file holds, the same the site-directory
// importer makes of the same site on disk.
#include <gtest/gtest.h>

#include <sstream>

#include "import/import.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"

namespace orvo {
namespace {

TEST(CrawlImport, TheSiteOverHttpAndAsADirectoryGiveTheSameGraph) {
    // Pages in folders, relative "../" references, an image referred to twice, a missing page,
    // an external link, links back to the start, a query and a fragment. (No reference to a
    // folder: on a server "docs/" is a page of its own, while on disk it is docs/index.html.)
    const std::string site = ORVO_TEST_DATA "/tools/static-site";
    test::TempDir dir;
    test::SiteServer server(dir / "log", {"--static", site});
    ASSERT_TRUE(server.running());
    const std::string base = server.url("/static/");

    ImportOptions crawlOptions;
    crawlOptions.crawl.delaySeconds = 0;
    std::ostringstream crawled;
    const ImportResult c =
        importGraph(base + "index.html", ImportFormat::Url, crawlOptions, crawled);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_FALSE(c.cancelled);
    // The missing page is among the warnings, with its reason.
    EXPECT_EQ(c.warnings, std::vector<std::string>{base + "gone.html: HTTP 404"});

    ImportOptions siteOptions;
    siteOptions.baseUrl = base;
    std::ostringstream imported;
    const ImportResult s = importGraph(site, ImportFormat::Site, siteOptions, imported);
    ASSERT_TRUE(s.ok) << s.error;
    EXPECT_EQ(crawled.str(), imported.str());
    EXPECT_TRUE(test::matchesGolden(test::replaceAll(crawled.str(), base, "BASE/"),
                                    "static-site.crawled.graph"));
}

}  // namespace
}  // namespace orvo
