// The Open Web Site dialog and the crawl's progress box on a real X display, crawling the test
// site served on 127.0.0.1: the figures and the log it shows, a failed start, Cancel. (Stop and
// Show is driven with real keys in the application test.)
#include <gtest/gtest.h>
#include <wx/spinctrl.h>
#include <wx/textctrl.h>

#include <chrono>

#include "glue/failure_text.h"
#include "shell/crawl_progress_dialog.h"
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
    TempDir dir;
    // The slow page answers long after the crawl's timeout, which is far above what any other
    // page of the site takes, however loaded the machine: three pages fail (404, 500, timeout).
    SiteServer server(dir / "log", {"--slow", "600"});
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

TEST_F(CrawlDialogTest, TheWebSiteDialogEditsTheAddressAndTheLimits) {
    crawl::CrawlOptions given;
    given.startUrl = "https://example.invalid/docs/";
    given.maxPages = 250;
    given.maxDepth = -1;
    WebSiteDialog dialog(nullptr, given);
    crawl::CrawlOptions got = dialog.options();
    EXPECT_EQ(got.startUrl, given.startUrl);
    EXPECT_EQ(got.maxPages, 250u);
    EXPECT_EQ(got.maxDepth, -1);
    EXPECT_EQ(got.connections, 4);
    EXPECT_DOUBLE_EQ(got.delaySeconds, 0.2);
    EXPECT_FALSE(got.wholeHost);
    dialog.setAddress("  http://127.0.0.1:8080/  ");
    EXPECT_EQ(dialog.options().startUrl, "http://127.0.0.1:8080/");

    EXPECT_TRUE(isWebAddress("HTTPS://Example.invalid/"));
    EXPECT_TRUE(isWebAddress(" http://x/"));
    EXPECT_FALSE(isWebAddress("ftp://x/"));
    EXPECT_FALSE(isWebAddress("/home/someone/site.graph"));
    EXPECT_FALSE(isWebAddress("httpfile.graph"));
}

}  // namespace
}  // namespace orvo
