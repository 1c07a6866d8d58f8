// A crawl through importGraph: the outline it writes, and the same site crawled over HTTP and
// imported as a directory giving the same graph.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "import/import.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"

namespace orvo {
namespace {

using test::SiteServer;
using test::TempDir;

TEST(CrawlImport, TheSiteOverHttpAndAsADirectoryGiveTheSameGraph) {
    TempDir dir;
    // Pages in folders, relative "../" references, an image referred to twice, a missing page,
    // an external link, links back to the start, a query and a fragment. (No reference to a
    // folder: on a server "docs/" is a page of its own, while on disk it is docs/index.html.)
    const auto site = dir / "site";
    std::filesystem::create_directories(site / "docs" / "img");
    test::writeWholeFile(site / "index.html",
                         "<a href='docs/a.html'>a</a><a href='b.html#top'>b</a>"
                         "<a href='http://other.invalid/'>x</a><img src='docs/img/p.png'>");
    test::writeWholeFile(
        site / "b.html",
        "<a href='docs/a.html'>a</a><a href='gone.html'>g</a><a href='index.html'>home</a>");
    test::writeWholeFile(site / "docs" / "a.html",
                         "<a href='../index.html'>home</a><img src='img/p.png'>"
                         "<a href='c.html?x=1'>c</a><a href='../b.html'>b</a>");
    test::writeWholeFile(site / "docs" / "c.html",
                         "<a href='../b.html'>b</a><a href='a.html'>a</a>");
    test::writeWholeFile(site / "docs" / "img" / "p.png", "\x89PNG\r\n");
    SiteServer server(dir / "log", {"--static", site.string()});
    ASSERT_TRUE(server.running());
    const std::string base = server.url("/static/");

    ImportOptions crawlOptions;
    crawlOptions.crawl.delaySeconds = 0;
    std::ostringstream crawled;
    const ImportResult c =
        importGraph(base + "index.html", ImportFormat::Url, crawlOptions, crawled);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_FALSE(c.cancelled);

    ImportOptions siteOptions;
    siteOptions.baseUrl = base;
    std::ostringstream imported;
    const ImportResult s = importGraph(site.string(), ImportFormat::Site, siteOptions, imported);
    ASSERT_TRUE(s.ok) << s.error;

    EXPECT_EQ(crawled.str(), imported.str());
    EXPECT_NE(crawled.str().find("0 " + base + "index.html 0 html main\n"), std::string::npos)
        << crawled.str();
    EXPECT_NE(crawled.str().find(" " + base + "gone.html 0 html missing\n"), std::string::npos);
    EXPECT_NE(crawled.str().find(" " + base + "docs/img/p.png 0 image main\n"), std::string::npos);
    EXPECT_NE(crawled.str().find(" http://other.invalid/ 0 html external\n"), std::string::npos);
    // The missing page is among the warnings, with its reason.
    ASSERT_FALSE(c.warnings.empty());
    EXPECT_EQ(c.warnings[0], base + "gone.html: HTTP 404");
}

}  // namespace
}  // namespace orvo
