// Crawls of the test site served on 127.0.0.1: which URLs become nodes, with which groups, under
// which parent and with which references; what is requested, how, and what never is.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "import/crawl_session.h"
#include "import/crawler.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo::crawl {
namespace {

using orvo::test::SiteServer;
using orvo::test::TempDir;

struct Crawled {
    CrawlResult result;
    std::vector<std::string> log;
    std::map<std::string, std::uint32_t> index;  // by URL

    const CrawledNode& node(const std::string& url) const {
        static const CrawledNode none{};
        auto it = index.find(url);
        return it == index.end() ? none : result.nodes[it->second];
    }
    bool has(const std::string& url) const { return index.count(url) > 0; }
    std::string parentOf(const std::string& url) const {
        const CrawledNode& n = node(url);
        return n.parent == CrawledNode::kNoParent ? "" : result.nodes[n.parent].url;
    }
    std::vector<std::string> referencesOf(const std::string& url) const {
        std::vector<std::string> out;
        auto it = index.find(url);
        if (it == index.end()) return out;
        for (const auto& [from, to] : result.references)
            if (from == it->second) out.push_back(result.nodes[to].url);
        return out;
    }
    bool logged(const std::string& text) const {
        for (const std::string& line : log)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

Crawled crawl(CrawlOptions options, const std::atomic<bool>* cancel = nullptr,
              std::function<void(const CrawlStats&)> progress = {}) {
    Crawled c;
    CrawlCallbacks callbacks;
    callbacks.log = [&c](const std::string& line) { c.log.push_back(line); };
    callbacks.cancel = cancel;
    callbacks.progress = std::move(progress);
    c.result = crawlSite(options, callbacks);
    for (std::uint32_t i = 0; i < c.result.nodes.size(); ++i) c.index[c.result.nodes[i].url] = i;
    return c;
}

CrawlOptions fastOptions(const std::string& start) {
    CrawlOptions o;
    o.startUrl = start;
    o.delaySeconds = 0;
    o.timeoutSeconds = 1;
    return o;
}

TEST(CrawlSite, BuildsTheNodesGroupsAndReferencesOfTheTestSite) {
    TempDir dir;
    SiteServer server(dir / "log");
    ASSERT_TRUE(server.running());
    const auto u = [&](const std::string& path) { return server.url(path); };
    const Crawled c = crawl(fastOptions(u("/site/")));
    ASSERT_TRUE(c.result.ok) << c.result.error;
    EXPECT_FALSE(c.result.stopped);
    ASSERT_FALSE(c.result.nodes.empty());
    EXPECT_EQ(c.result.nodes[0].url, u("/site/"));

    // Every node, with its content kind and its group.
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {u("/site/"), {"html", "main"}},
        {u("/site/style.css"), {"text", "main"}},
        {u("/site/about.html"), {"html", "main"}},
        {u("/site/img/logo.png"), {"image", "main"}},
        {u("/site/img/team.jpg"), {"image", "main"}},
        {u("/site/docs/"), {"html", "main"}},
        {u("/site/docs/guide.html"), {"html", "main"}},
        {u("/site/~team.html"), {"html", "main"}},
        {u("/site/missing.html"), {"html", "missing"}},
        {u("/site/error.html"), {"html", "missing"}},
        {u("/site/slow.html"), {"html", "missing"}},
        {u("/site/moved.html"), {"html", "main"}},
        {u("/site/renamed.html"), {"html", "main"}},
        {u("/site/loop1.html"), {"html", "main"}},
        {u("/site/loop2.html"), {"html", "main"}},
        {u("/site/away.html"), {"html", "main"}},
        {"http://other.invalid/landing.html", {"html", "external"}},
        {u("/outside/page.html"), {"html", "external"}},
        {u("/site/private/secret.html"), {"html", "main"}},
        {u("/site/big.html"), {"html", "main"}},
        {u("/site/big-stream.html"), {"html", "main"}},
        {u("/site/plain.html"), {"text", "main"}},
        {u("/site/report.html"), {"application", "main"}},
        {"https://other.invalid/x.html", {"html", "external"}},
        {"ftp://127.0.0.1/file.txt", {"text", "external"}},
        {u("/site/zipped.html"), {"html", "main"}},
        {u("/site/unzipped.html"), {"html", "main"}},
        {u("/site/untyped.html"), {"html", "main"}},
    };
    std::set<std::string> got;
    for (const CrawledNode& n : c.result.nodes) {
        got.insert(n.url);
        auto it = expected.find(n.url);
        ASSERT_NE(it, expected.end()) << "unexpected node " << n.url;
        EXPECT_EQ(n.kind, it->second.first) << n.url;
        EXPECT_EQ(n.group, it->second.second) << n.url;
    }
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_EQ(c.result.nodes.size(), expected.size());  // each URL once

    // The breadth-first tree: first found, first parent; redirect targets under the page that
    // referred to the redirect.
    EXPECT_EQ(c.parentOf(u("/site/about.html")), u("/site/"));
    EXPECT_EQ(c.parentOf(u("/site/img/team.jpg")), u("/site/about.html"));
    EXPECT_EQ(c.parentOf(u("/site/~team.html")), u("/site/about.html"));
    EXPECT_EQ(c.parentOf(u("/site/docs/guide.html")), u("/site/docs/"));
    EXPECT_EQ(c.parentOf(u("/site/renamed.html")), u("/site/"));
    EXPECT_EQ(c.parentOf(u("/site/loop2.html")), u("/site/"));
    EXPECT_EQ(c.parentOf("http://other.invalid/landing.html"), u("/site/"));
    EXPECT_EQ(c.parentOf(u("/site/unzipped.html")), u("/site/zipped.html"));

    // References in document order, fragments and queries dropped, `..` and escapes resolved.
    EXPECT_EQ(c.referencesOf(u("/site/about.html")),
              (std::vector<std::string>{u("/site/"), u("/site/img/logo.png"),
                                        u("/site/img/team.jpg"), u("/site/~team.html")}));
    EXPECT_EQ(c.referencesOf(u("/site/docs/guide.html")),
              (std::vector<std::string>{u("/site/docs/"), u("/site/~team.html")}));
    EXPECT_EQ(c.referencesOf(u("/site/~team.html")),
              std::vector<std::string>{u("/site/about.html")});
    // A page sent without a type is read by its name.
    EXPECT_EQ(c.referencesOf(u("/site/untyped.html")),
              std::vector<std::string>{u("/site/about.html")});
    const std::vector<std::string> start = c.referencesOf(u("/site/"));
    ASSERT_GE(start.size(), 3u);
    EXPECT_EQ(start[1], u("/site/about.html"));
    EXPECT_EQ(start[2], u("/site/about.html"));  // about.html?session=1#team
    // The loop closes on a node that exists: one more record under the start page.
    EXPECT_EQ(std::count(start.begin(), start.end(), u("/site/loop1.html")), 2);

    // Nothing that is not crawled was asked for; nothing was asked for twice.
    for (const char* never :
         {"/site/private/secret.html", "/outside/page.html", "/site/hidden-in-text.html",
          "/site/hidden-in-pdf.html", "/site/past-the-cap.html", "/site/past-the-cap-2.html",
          "/site/after-slow.html", "/landing.html", "/site/hidden.html"}) {
        EXPECT_EQ(server.count(std::string("GET ") + never), 0) << never;
        EXPECT_EQ(server.count(std::string("HEAD ") + never), 0) << never;
    }
    for (const char* path : {"/site/img/logo.png", "/site/img/team.jpg", "/site/style.css"}) {
        EXPECT_EQ(server.count(std::string("HEAD ") + path), 1) << path;
        EXPECT_EQ(server.count(std::string("GET ") + path), 0) << path;
    }
    EXPECT_EQ(server.count("GET /robots.txt"), 1);
    std::set<std::string> asked;
    for (const std::string& request : server.requests())
        EXPECT_TRUE(asked.insert(request).second) << request << " asked twice";

    // Why a page is missing or left alone is told.
    EXPECT_TRUE(c.logged(u("/site/missing.html") + ": HTTP 404"));
    EXPECT_TRUE(c.logged(u("/site/error.html") + ": HTTP 500"));
    EXPECT_TRUE(c.logged(u("/site/slow.html") + ": timed out after 1 s"));
    EXPECT_TRUE(c.logged(u("/site/private/secret.html") + ": disallowed by robots.txt"));
    EXPECT_TRUE(c.logged(u("/site/big.html") + ": larger than 8 MiB"));
    EXPECT_EQ(c.result.stats.failed, 3u);
    EXPECT_GT(c.result.stats.bytes, 8u << 20);
}

TEST(CrawlSite, ScopeOptionsLimitsAndTheStartRedirect) {
    TempDir dir;
    SiteServer server(dir / "log");
    ASSERT_TRUE(server.running());
    const auto u = [&](const std::string& path) { return server.url(path); };

    // The whole host: the page outside the start folder is crawled; robots.txt ignored: the
    // private page too.
    CrawlOptions whole = fastOptions(u("/site/"));
    whole.wholeHost = true;
    whole.ignoreRobots = true;
    const Crawled w = crawl(whole);
    EXPECT_EQ(w.node(u("/outside/page.html")).group, "main");
    EXPECT_EQ(w.node(u("/site/private/secret.html")).group, "main");
    EXPECT_TRUE(w.has(u("/site/hidden.html")));  // found on the private page
    EXPECT_EQ(server.count("GET /outside/page.html"), 1);
    EXPECT_TRUE(w.logged("warning: robots.txt is ignored"));

    // Depth: the start page and what it refers to, nothing deeper.
    CrawlOptions shallow = fastOptions(u("/site/"));
    shallow.maxDepth = 1;
    const Crawled s = crawl(shallow);
    EXPECT_TRUE(s.has(u("/site/about.html")));
    EXPECT_FALSE(s.has(u("/site/img/team.jpg")));
    EXPECT_FALSE(s.has(u("/site/docs/guide.html")));
    EXPECT_TRUE(s.has(u("/site/renamed.html")));  // a redirect's target stands where it was found
    // ... but references between the nodes it has are still kept.
    EXPECT_EQ(s.referencesOf(u("/site/about.html")).front(), u("/site/"));

    // Pages: the first ones found, breadth first.
    CrawlOptions few = fastOptions(u("/site/"));
    few.maxPages = 3;
    const Crawled f = crawl(few);
    std::vector<std::string> site;
    for (const CrawledNode& n : f.result.nodes)
        if (n.group != "external") site.push_back(n.url);
    EXPECT_EQ(site,
              (std::vector<std::string>{u("/site/"), u("/site/style.css"), u("/site/about.html")}));
    EXPECT_TRUE(f.logged("page limit of 3 reached"));

    // No HEAD: resources are nodes by their names only.
    const std::size_t headsBefore = server.count("HEAD /site/img/logo.png");
    CrawlOptions noHead = fastOptions(u("/site/"));
    noHead.head = false;
    noHead.maxDepth = 1;
    const Crawled n = crawl(noHead);
    EXPECT_EQ(n.node(u("/site/img/logo.png")).kind, "image");
    EXPECT_EQ(server.count("HEAD /site/img/logo.png"), headsBefore);

    // A start URL that redirects: the crawl goes on from its target, which hangs under it.
    const Crawled r = crawl(fastOptions(u("/site/moved.html")));
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.result.nodes[0].url, u("/site/moved.html"));
    EXPECT_EQ(r.parentOf(u("/site/renamed.html")), u("/site/moved.html"));
    EXPECT_EQ(r.node(u("/site/about.html")).group, "main");
    EXPECT_EQ(r.parentOf(u("/site/about.html")), u("/site/renamed.html"));

    // Not a web address: nothing to crawl.
    for (const char* bad : {"ftp://127.0.0.1/", "file:///etc/", "no scheme", "http://"}) {
        const Crawled b = crawl(fastOptions(bad));
        EXPECT_FALSE(b.result.ok) << bad;
        EXPECT_FALSE(b.result.error.empty()) << bad;
    }
    // A start page that is not there: nothing of the site was reached.
    const Crawled gone = crawl(fastOptions(u("/site/missing.html")));
    EXPECT_FALSE(gone.result.ok);
    EXPECT_EQ(gone.result.error, u("/site/missing.html") + ": HTTP 404");
    const Crawled kept = crawl(fastOptions(u("/site/private/secret.html")));
    EXPECT_FALSE(kept.result.ok);
    EXPECT_EQ(kept.result.error, u("/site/private/secret.html") +
                                     ": disallowed by robots.txt (--ignore-robots crawls anyway)");
    // A host that does not answer at all: its robots.txt cannot be had, and that is the reason.
    const Crawled down = crawl(fastOptions("http://127.0.0.1:1/"));
    EXPECT_FALSE(down.result.ok);
    EXPECT_EQ(down.result.error.rfind("http://127.0.0.1:1/: http://127.0.0.1:1/robots.txt: ", 0),
              0u)
        << down.result.error;
}

TEST(CrawlSite, KeepsTheDelayBetweenRequestsToAHost) {
    TempDir dir;
    SiteServer server(dir / "log", {"--pages", "4"});
    ASSERT_TRUE(server.running());
    CrawlOptions o = fastOptions(server.url("/gen/0.html"));
    o.delaySeconds = 0.25;
    const auto started = std::chrono::steady_clock::now();
    const Crawled c = crawl(o);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // robots.txt and four pages: five requests, four delays between them at the least.
    ASSERT_EQ(server.requests().size(), 5u);
    EXPECT_GE(seconds, 4 * 0.25);
    EXPECT_EQ(c.result.nodes.size(), 4u);
}

TEST(CrawlSite, CancelKeepsWhatWasCrawled) {
    TempDir dir;
    // Each page takes 50 ms, so the crawl is far from its end however fast the machine.
    SiteServer server(dir / "log", {"--pages", "5000", "--page-delay", "0.05"});
    ASSERT_TRUE(server.running());
    CrawlOptions o = fastOptions(server.url("/gen/0.html"));
    std::atomic<bool> cancel{false};
    // Cancelled from the progress report once a few pages are in, as a window's button would.
    const Crawled c = crawl(o, &cancel, [&cancel](const CrawlStats& s) {
        if (s.fetched >= 20) cancel = true;
    });
    ASSERT_TRUE(c.result.ok);
    EXPECT_TRUE(c.result.stopped);
    EXPECT_GE(c.result.nodes.size(), 20u);
    EXPECT_LT(c.result.nodes.size(), 5000u);
    // Every reference names a node, every parent comes before its child.
    for (const auto& [from, to] : c.result.references) {
        EXPECT_LT(from, c.result.nodes.size());
        EXPECT_LT(to, c.result.nodes.size());
    }
    for (std::uint32_t i = 1; i < c.result.nodes.size(); ++i)
        EXPECT_LT(c.result.nodes[i].parent, i);
}

TEST(CrawlSite, ASessionOnItsOwnThreadReportsAndStops) {
    TempDir dir;
    SiteServer server(dir / "log", {"--pages", "5000", "--page-delay", "0.05"});
    ASSERT_TRUE(server.running());
    CrawlSession session(fastOptions(server.url("/gen/0.html")));
    // Wait (boundedly) for the figures to show some pages.
    orvo::testing::waitUntil([&] { return session.stats().fetched >= 10; },
                             std::chrono::seconds(30));
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
