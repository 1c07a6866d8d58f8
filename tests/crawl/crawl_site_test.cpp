// Crawls of the test site served on 127.0.0.1: each scope and limit against golden files, starts
// refused, the delay kept, a crawl on its own thread, and the crawl through importGraph.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>

#include "crawl/crawl_session.h"
#include "crawl/crawler.h"
#include "crawl/import_graph.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo::crawl {
namespace {

using namespace orvo::test;

CrawlOptions fastOptions(const std::string& start) {
    CrawlOptions o;
    o.startUrl = start;
    o.delaySeconds = 0;
    o.timeoutSeconds = answerTimeout();
    return o;
}

// The crawl as text: a line a node (index, URL, content kind, group, parent), then each
// reference in the order met, then what was requested during it, sorted; the server as SERVER.
std::string described(const CrawlResult& r, std::vector<std::string> requested,
                      const SiteServer& server) {
    std::string text;
    for (std::size_t i = 0; i < r.nodes.size(); ++i) {
        const CrawledNode& n = r.nodes[i];
        text += std::to_string(i) + " " + n.url + " " + n.kind + " " + n.group + " " +
                (n.parent == CrawledNode::kNoParent ? "-" : std::to_string(n.parent)) + "\n";
    }
    for (const auto& [from, to] : r.references)
        text += std::to_string(from) + " -> " + std::to_string(to) + "\n";
    std::sort(requested.begin(), requested.end());
    for (const std::string& request : requested) text += request + "\n";
    return replaceAll(text, server.url(""), "SERVER");
}

TEST(CrawlSite, EachScopeAndLimitGivesTheGraphOfItsGoldenFile) {
    SiteServer server({"--slow", "3600"});
    ASSERT_TRUE(server.running());
    std::ostringstream timedOut;
    timedOut << "/site/slow.html: timed out after " << answerTimeout() << " s";
    const std::vector<std::string> reasons = {
        "/site/missing.html: HTTP 404", "/site/error.html: HTTP 500", timedOut.str(),
        "/site/private/secret.html: disallowed by robots.txt", "/site/big.html: larger than 8 MiB"};
    const struct {
        std::string golden, start;
        int maxDepth;
        std::size_t maxPages;
        bool wholeHost, head;
        std::uint64_t failed;           // 404s, 500 and the slow page, with the big pages read
        std::vector<std::string> told;  // among the lines logged
    } variants[] = {
        {"site.crawl", "/site/", -1, 10000, false, true, 3, reasons},
        // The whole host, robots.txt ignored.
        {"site.whole-host.crawl", "/site/", -1, 10000, true, true, 4, {"robots.txt is ignored"}},
        // A redirect's target stands where it was found; references between the nodes kept are
        // kept. Without HEAD, resources are nodes by their names only.
        {"site.depth-1.no-head.crawl", "/site/", 1, 10000, false, false, 3, {}},
        {"site.3-pages.crawl", "/site/", -1, 3, false, true, 0, {"page limit of 3 reached"}},
        // The crawl goes on from the start's redirect target, which hangs under it.
        {"site.start-redirect.crawl", "/site/moved.html", 2, 10000, false, true, 0, {}},
        // Only http and https are ever fetched: redirects to other schemes are asked for, where
        // they point (like the file: link) never, and stays an external leaf.
        {"unsafe.crawl", "/unsafe/", -1, 10000, true, true, 0, {}},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.golden);
        CrawlOptions options = fastOptions(server.url(v.start));
        options.maxDepth = v.maxDepth;
        options.maxPages = v.maxPages;
        options.wholeHost = options.ignoreRobots = v.wholeHost;
        options.head = v.head;
        std::string log;
        CrawlCallbacks callbacks;
        callbacks.log = [&log](const std::string& line) { log += line + "\n"; };
        const std::size_t before = server.requests().size();
        const CrawlResult r = crawlSite(options, callbacks);
        EXPECT_TRUE(r.ok && !r.stopped) << r.error;
        const std::vector<std::string> all = server.requests();
        EXPECT_TRUE(matchesGolden(
            described(r, std::vector<std::string>(all.begin() + before, all.end()), server),
            v.golden));
        for (const std::string& reason : v.told)
            EXPECT_NE(log.find(reason), std::string::npos) << reason;
        EXPECT_EQ(r.stats.failed, v.failed);
        EXPECT_EQ(r.stats.bytes > (8u << 20), v.failed > 0);
    }
}

TEST(CrawlSite, RefusesStartsThatGiveNothing) {
    SiteServer server;
    ASSERT_TRUE(server.running());
    std::string errors;
    // The last: a host that does not answer at all; its robots.txt cannot be had, and that is the
    // reason (in the transport's own words, which are left out).
    for (const std::string& start :
         std::vector<std::string>{"ftp://127.0.0.1/", "file:///etc/", "no scheme", "http://",
                                  server.url("/site/missing.html"),
                                  server.url("/site/private/secret.html"), "http://127.0.0.1:1/"}) {
        const CrawlResult r = crawlSite(fastOptions(start), {});
        EXPECT_FALSE(r.ok) << start;
        const size_t why = r.error.find("robots.txt: ");
        errors += (why == std::string::npos ? r.error : r.error.substr(0, why + 11)) + "\n";
    }
    EXPECT_TRUE(matchesGolden(replaceAll(errors, server.url(""), "SERVER"), "crawl-refusals.txt"));
}

TEST(CrawlSite, KeepsTheDelayBetweenRequestsToAHost) {
    SiteServer server({"--pages", "4"});
    ASSERT_TRUE(server.running());
    CrawlOptions o = fastOptions(server.url("/gen/0.html"));
    o.delaySeconds = 0.25;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(crawlSite(o, {}).nodes.size(), 4u);
    // robots.txt and four pages: five requests, four delays between them at the least (and the
    // sitemap, asked for at the end).
    ASSERT_EQ(server.requests().size(), 6u);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
}

TEST(CrawlSite, ASessionOnItsOwnThreadReportsAndStops) {
    // Each page takes 50 ms, so the crawl is far from its end however fast the machine.
    SiteServer server({"--pages", "5000", "--page-delay", "0.05"});
    ASSERT_TRUE(server.running());
    CrawlSession session(fastOptions(server.url("/gen/0.html")));
    orvo::testing::waitUntil([&] { return session.stats().fetched >= 10; },
                             std::chrono::seconds(60));
    const CrawlStats seen = session.stats();
    EXPECT_TRUE(seen.fetched >= 10 && seen.queued > 0 && seen.bytes > 0 && !session.finished());
    session.stop();
    session.wait();
    const CrawlResult& stopped = session.result();
    EXPECT_TRUE(session.finished() && stopped.ok && stopped.stopped);
    EXPECT_TRUE(stopped.nodes.size() >= 10 && stopped.nodes.size() < 5000) << stopped.nodes.size();
    EXPECT_GE(session.stats().fetched, seen.fetched);
    // What was crawled is whole: every reference names a node, every parent precedes its child.
    for (const auto& [from, to] : stopped.references)
        EXPECT_LT(std::max(from, to), stopped.nodes.size());
    for (std::uint32_t i = 1; i < stopped.nodes.size(); ++i) EXPECT_LT(stopped.nodes[i].parent, i);

    // One that runs to its end on its own: the docs folder, with its log.
    CrawlOptions docs = fastOptions(server.url("/site/docs/guide.html"));
    docs.ignoreRobots = true;
    CrawlSession whole(docs);
    whole.wait();
    EXPECT_TRUE(whole.result().ok && !whole.result().stopped);
    // guide.html, docs/ and the three pages outside the folder they link to.
    EXPECT_EQ(whole.result().nodes.size(), 5u);
    EXPECT_EQ(whole.takeLog(),
              std::vector<std::string>{"warning: robots.txt is ignored (--ignore-robots)"});
    EXPECT_TRUE(whole.takeLog().empty());
}

// A crawl through importGraph gives the graph its golden file holds, the same the site-directory
// importer makes of the same site on disk.
TEST(CrawlImport, TheSiteOverHttpAndAsADirectoryGiveTheSameGraph) {
    // Pages in folders, relative "../" references, an image referred to twice, a missing page,
    // an external link, links back to the start, a query and a fragment. (No reference to a
    // folder: on a server "docs/" is a page of its own, while on disk it is docs/index.html.)
    const std::string site = ORVO_TEST_DATA "/tools/static-site";
    SiteServer server({"--static", site});
    ASSERT_TRUE(server.running());
    const std::string base = server.url("/static/");

    ImportOptions crawlOptions;
    crawlOptions.crawl.delaySeconds = 0;
    std::ostringstream crawled;
    const ImportResult c =
        importGraph(base + "index.html", ImportFormat::Url, crawlOptions, crawled);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_FALSE(c.cancelled);
    EXPECT_EQ(c.warnings, std::vector<std::string>{base + "gone.html: HTTP 404"});

    ImportOptions siteOptions;
    siteOptions.baseUrl = base;
    std::ostringstream imported;
    const ImportResult s = importGraph(site, ImportFormat::Site, siteOptions, imported);
    ASSERT_TRUE(s.ok) << s.error;
    EXPECT_EQ(crawled.str(), imported.str());
    EXPECT_TRUE(
        matchesGolden(replaceAll(crawled.str(), base, "BASE/"), "static-site.crawled.graph"));
}

}  // namespace
}  // namespace orvo::crawl
