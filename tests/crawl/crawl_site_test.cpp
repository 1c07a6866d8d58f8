// Crawls of the test site served on 127.0.0.1: the nodes, groups, parents and references each
// scope and limit gives, and what was requested, compared with golden files; the reasons told,
// the delay kept, a cancelled crawl and a crawl on its own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <sstream>

#include "import/crawl_session.h"
#include "import/crawler.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo::crawl {
namespace {

using orvo::test::SiteServer;
using orvo::test::TempDir;

CrawlOptions fastOptions(const std::string& start) {
    CrawlOptions o;
    o.startUrl = start;
    o.delaySeconds = 0;
    // The slow page of the site never answers in time; every other answer has ample time.
    o.timeoutSeconds = 6 * orvo::testing::timeScale();
    return o;
}

// The crawl as text: a line a node (index, URL, content kind, group, parent), then each
// reference in the order met, then what was requested during it, sorted; the server as SERVER.
std::string described(const CrawlResult& r, const std::vector<std::string>& requested,
                      const SiteServer& server) {
    std::string text;
    for (std::size_t i = 0; i < r.nodes.size(); ++i) {
        const CrawledNode& n = r.nodes[i];
        text += std::to_string(i) + " " + n.url + " " + n.kind + " " + n.group + " " +
                (n.parent == CrawledNode::kNoParent ? "-" : std::to_string(n.parent)) + "\n";
    }
    for (const auto& [from, to] : r.references)
        text += std::to_string(from) + " -> " + std::to_string(to) + "\n";
    std::vector<std::string> sorted = requested;
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& request : sorted) text += request + "\n";
    return orvo::test::replaceAll(text, server.url(""), "SERVER");
}

TEST(CrawlSite, EachScopeAndLimitGivesTheGraphOfItsGoldenFile) {
    TempDir dir;
    SiteServer server(dir / "log", {"--slow", "3600"});
    ASSERT_TRUE(server.running());
    std::ostringstream timedOut;
    timedOut << ": timed out after " << 6 * orvo::testing::timeScale() << " s";
    struct Variant {
        std::string golden, start;
        std::function<void(CrawlOptions&)> options;
        std::vector<std::string> told;  // among the lines logged
    };
    const std::vector<Variant> variants = {
        {"site.crawl",
         "/site/",
         [](CrawlOptions&) {},
         {"/site/missing.html: HTTP 404", "/site/error.html: HTTP 500",
          "/site/slow.html" + timedOut.str(), "/site/private/secret.html: disallowed by robots.txt",
          "/site/big.html: larger than 8 MiB"}},
        {"site.whole-host.crawl",
         "/site/",
         [](CrawlOptions& o) { o.wholeHost = o.ignoreRobots = true; },
         {"warning: robots.txt is ignored"}},
        // Depth: a redirect's target stands where it was found; references between the nodes
        // kept are kept. Without HEAD, resources are nodes by their names only.
        {"site.depth-1.no-head.crawl",
         "/site/",
         [](CrawlOptions& o) {
             o.maxDepth = 1;
             o.head = false;
         },
         {}},
        {"site.3-pages.crawl",
         "/site/",
         [](CrawlOptions& o) { o.maxPages = 3; },
         {"page limit of 3 reached"}},
        // The crawl goes on from the start's redirect target, which hangs under it.
        {"site.start-redirect.crawl",
         "/site/moved.html",
         [](CrawlOptions& o) { o.maxDepth = 2; },
         {}},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.golden);
        CrawlOptions options = fastOptions(server.url(v.start));
        v.options(options);
        std::vector<std::string> log;
        CrawlCallbacks callbacks;
        callbacks.log = [&log](const std::string& line) { log.push_back(line); };
        const std::size_t before = server.requests().size();
        const CrawlResult r = crawlSite(options, callbacks);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_FALSE(r.stopped);
        const std::vector<std::string> all = server.requests();
        EXPECT_TRUE(orvo::test::matchesGolden(
            described(r, std::vector<std::string>(all.begin() + before, all.end()), server),
            v.golden));
        for (const std::string& reason : v.told) {
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
                return line.find(reason) != std::string::npos;
            })) << reason;
        }
        if (v.golden == "site.crawl") {
            EXPECT_EQ(r.stats.failed, 3u);
            EXPECT_GT(r.stats.bytes, 8u << 20);
        }
    }
}

TEST(CrawlSite, RefusesStartsThatGiveNothing) {
    TempDir dir;
    SiteServer server(dir / "log");
    ASSERT_TRUE(server.running());
    std::string errors;
    for (const std::string& start : std::vector<std::string>{
             "ftp://127.0.0.1/", "file:///etc/", "no scheme", "http://",
             server.url("/site/missing.html"), server.url("/site/private/secret.html")}) {
        const CrawlResult r = crawlSite(fastOptions(start), {});
        EXPECT_FALSE(r.ok) << start;
        errors += r.error + "\n";
    }
    EXPECT_TRUE(orvo::test::matchesGolden(orvo::test::replaceAll(errors, server.url(""), "SERVER"),
                                          "crawl-refusals.txt"));
    // A host that does not answer at all: its robots.txt cannot be had, and that is the reason.
    const CrawlResult down = crawlSite(fastOptions("http://127.0.0.1:1/"), {});
    EXPECT_FALSE(down.ok);
    EXPECT_TRUE(down.error.starts_with("http://127.0.0.1:1/: http://127.0.0.1:1/robots.txt: "))
        << down.error;
}

TEST(CrawlSite, KeepsTheDelayBetweenRequestsToAHost) {
    TempDir dir;
    SiteServer server(dir / "log", {"--pages", "4"});
    ASSERT_TRUE(server.running());
    CrawlOptions o = fastOptions(server.url("/gen/0.html"));
    o.delaySeconds = 0.25;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(crawlSite(o, {}).nodes.size(), 4u);
    // robots.txt and four pages: five requests, four delays between them at the least.
    ASSERT_EQ(server.requests().size(), 5u);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
}

TEST(CrawlSite, CancelKeepsWhatWasCrawled) {
    TempDir dir;
    // Each page takes 50 ms, so the crawl is far from its end however fast the machine.
    SiteServer server(dir / "log", {"--pages", "5000", "--page-delay", "0.05"});
    ASSERT_TRUE(server.running());
    std::atomic<bool> cancel{false};
    CrawlCallbacks callbacks;
    callbacks.cancel = &cancel;
    // Cancelled from the progress report once a few pages are in, as a window's button would.
    callbacks.progress = [&cancel](const CrawlStats& s) { cancel = cancel || s.fetched >= 20; };
    const CrawlResult r = crawlSite(fastOptions(server.url("/gen/0.html")), callbacks);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.stopped);
    EXPECT_GE(r.nodes.size(), 20u);
    EXPECT_LT(r.nodes.size(), 5000u);
    // Every reference names a node, every parent comes before its child.
    for (const auto& [from, to] : r.references) EXPECT_LT(std::max(from, to), r.nodes.size());
    for (std::uint32_t i = 1; i < r.nodes.size(); ++i) EXPECT_LT(r.nodes[i].parent, i);
}

TEST(CrawlSite, ASessionOnItsOwnThreadReportsAndStops) {
    TempDir dir;
    SiteServer server(dir / "log", {"--pages", "5000", "--page-delay", "0.05"});
    ASSERT_TRUE(server.running());
    CrawlSession session(fastOptions(server.url("/gen/0.html")));
    orvo::testing::waitUntil([&] { return session.stats().fetched >= 10; },
                             std::chrono::seconds(60));
    const CrawlStats seen = session.stats();
    EXPECT_GE(seen.fetched, 10u);
    EXPECT_GT(seen.queued, 0u);
    EXPECT_GT(seen.bytes, 0u);
    EXPECT_FALSE(session.finished());
    session.stop();
    session.wait();
    ASSERT_TRUE(session.finished());
    EXPECT_TRUE(session.result().ok);
    EXPECT_TRUE(session.result().stopped);
    EXPECT_GE(session.result().nodes.size(), 10u);
    EXPECT_GE(session.stats().fetched, seen.fetched);

    // One that runs to its end on its own: the docs folder, with its log.
    CrawlOptions docs = fastOptions(server.url("/site/docs/guide.html"));
    docs.ignoreRobots = true;
    CrawlSession whole(docs);
    whole.wait();
    EXPECT_TRUE(whole.result().ok);
    EXPECT_FALSE(whole.result().stopped);
    // guide.html, docs/ and the three pages outside the folder they link to.
    EXPECT_EQ(whole.result().nodes.size(), 5u);
    EXPECT_EQ(whole.takeLog(),
              std::vector<std::string>{"warning: robots.txt is ignored (--ignore-robots)"});
    EXPECT_TRUE(whole.takeLog().empty());
}

}  // namespace
}  // namespace orvo::crawl
