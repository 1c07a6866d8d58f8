// The Open Web Site dialog and the crawl's progress box on a real X display, crawling the test
// site served on 127.0.0.1: the figures and the log it shows, a failed start, Cancel. (Stop and
// Show is driven with real keys in the application test.)
#include <gtest/gtest.h>
#include <wx/config.h>
#include <wx/spinctrl.h>
#include <wx/textctrl.h>

#include <chrono>
#include <cstdlib>
#include <tuple>

#include "crawl/crawl_limits.h"
#include "glue/failure_text.h"
#include "glue/glue.h"
#include "shell/crawl_progress_dialog.h"
#include "shell/orvo_doc.h"
#include "shell/recent_files.h"
#include "shell/web_site_dialog.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"
#include "tests/shell/toolkit.h"
#include "tests/test_time.h"

namespace orvo {
namespace {

using test::SiteServer;
using test::TempDir;

class CrawlDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!startToolkit()) GTEST_SKIP() << "no X display";
    }
};

// Shows the box modally until its crawl ends; one still up after a minute (scaled), or the
// given time, is cancelled.
int showToTheEnd(CrawlProgressDialog& box, std::chrono::milliseconds cancelAfter = {}) {
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { box.cancel(); });
    timer.StartOnce(static_cast<int>(
        (cancelAfter.count() > 0 ? cancelAfter : testing::scaled(std::chrono::seconds(60)))
            .count()));
    return box.ShowModal();
}

TEST_F(CrawlDialogTest, ACrawlToItsEndShowsItsLogAFailedStartFailsAndCancelEndsIt) {
    // The slow page answers long after the crawl's timeout, which is far above what any other
    // page of the site takes, however loaded the machine: three pages fail (404, 500, timeout).
    SiteServer server({"--slow", "600"});
    ASSERT_TRUE(server.running());
    crawl::CrawlOptions options;
    options.startUrl = server.url("/site/");
    options.delaySeconds = 0;
    options.timeoutSeconds = 5 * testing::timeScale();
    {
        CrawlProgressDialog box(nullptr, options);
        EXPECT_EQ(showToTheEnd(box), CrawlProgressDialog::kShow);
        EXPECT_FALSE(box.result().stopped);
        EXPECT_NE(box.logText().find(server.url("/site/missing.html") + ": HTTP 404"),
                  wxString::npos);
        EXPECT_NE(box.figures().find(" pages fetched, 0 queued, 3 failed, "), wxString::npos)
            << box.figures();
    }
    {
        options.startUrl = server.url("/site/missing.html");
        CrawlProgressDialog box(nullptr, options);
        EXPECT_EQ(showToTheEnd(box), CrawlProgressDialog::kFailed);
        EXPECT_EQ(box.result().error, options.startUrl + ": HTTP 404");
        // The window's message names the address once.
        EXPECT_EQ(failureText("Cannot crawl", options.startUrl, box.result().error),
                  "Cannot crawl " + options.startUrl + ": HTTP 404.");
    }
    options.startUrl = server.url("/site/slow.html");  // fails only at the crawl's timeout
    CrawlProgressDialog cancelled(nullptr, options);
    EXPECT_EQ(showToTheEnd(cancelled, std::chrono::milliseconds(200)),
              CrawlProgressDialog::kCancelled);
}

// The fields of a crawl's options, to compare them whole.
auto fields(const crawl::CrawlOptions& o) {
    return std::tie(o.startUrl, o.maxPages, o.maxDepth, o.connections, o.delaySeconds,
                    o.maxRedirects, o.sitemap, o.wholeHost);
}

// The dialog shows the options kept and gives back what its fields hold; the document manager
// keeps them in the configuration file, refusing kept values outside the shared limits, and
// the sitemap only for the address it was chosen with.
TEST_F(CrawlDialogTest, TheWebSiteDialogEditsTheAddressTheLimitsAndTheSitemap) {
    crawl::CrawlOptions given;
    given.startUrl = "https://example.invalid/docs/";
    given.maxPages = 250;
    given.maxRedirects = 0;  // the limits' ends are kept too
    given.connections = 1;
    given.sitemap = "https://example.invalid/map.xml";
    WebSiteDialog dialog(nullptr, given);
    EXPECT_EQ(fields(dialog.options()), fields(given));
    dialog.setAddress("  http://127.0.0.1:8080/  ");
    dialog.sitemapField().SetValue("  ");  // the site's own
    dialog.maxRedirectsField().SetValue(crawl::kCrawlLimits.maxRedirects.max + 1);
    crawl::CrawlOptions edited = given;
    edited.startUrl = "http://127.0.0.1:8080/";
    edited.sitemap = "";
    edited.maxRedirects = crawl::kCrawlLimits.maxRedirects.max;  // no more than the limit
    EXPECT_EQ(fields(dialog.options()), fields(edited));

    TempDir dir;
    testing::writeWholeFile(dir / "map.xml", "<urlset/>");
    for (const std::string& taken :
         {std::string(" "), std::string("HTTPS://x.invalid/s.xml"), dir.file("map.xml")})
        EXPECT_TRUE(sitemapProblem(taken).empty()) << taken;
    for (const std::string& refused : {dir.file("none.xml"), dir.path(), std::string("map.xml")})
        EXPECT_FALSE(sitemapProblem(refused).empty()) << refused;
    for (const char* web : {"HTTPS://Example.invalid/", " http://x/"})
        EXPECT_TRUE(isWebAddress(web)) << web;
    for (const char* other : {"ftp://x/", "/home/someone/site.graph", "httpfile.graph"})
        EXPECT_FALSE(isWebAddress(other)) << other;

    const auto configHome = ownConfigHome(dir.path());
    {
        Glue glue;
        COrvoDocManager manager(glue);
        manager.saveWebSiteOptions(edited);
        EXPECT_EQ(fields(manager.webSiteOptions()), fields(edited));
        manager.saveWebSiteOptions(given);
        EXPECT_EQ(fields(manager.webSiteOptions(given.startUrl)), fields(given));
        EXPECT_EQ(manager.webSiteOptions("https://other.invalid/").sitemap, "");
        // Values no longer within the limits (edited by hand, say) give the defaults.
        for (const long wrong : {-1L, 1001L}) {
            changeUserConfig([wrong](wxConfigBase& config) {
                config.Write("/Open Web Site/MaxRedirects", wrong);
                config.Write("/Open Web Site/Connections", wrong);
            });
            EXPECT_EQ(manager.webSiteOptions().maxRedirects, crawl::CrawlOptions{}.maxRedirects);
            EXPECT_EQ(manager.webSiteOptions().connections, crawl::CrawlOptions{}.connections);
        }
    }
}

}  // namespace
}  // namespace orvo
