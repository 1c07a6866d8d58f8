// The crawl's fetcher against a real HTTP server on 127.0.0.1, and the robots.txt rules.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "import/crawl_fetcher.h"
#include "import/crawl_robots.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"

namespace orvo::crawl {
namespace {

using orvo::test::SiteServer;
using orvo::test::TempDir;

// Runs the requests with `options` until all have answered (the server answers or times out
// every one, so this ends); results by URL.
std::map<std::string, FetchResult> fetchAll(const FetchOptions& options,
                                            const std::vector<FetchRequest>& requests) {
    Fetcher fetcher(options);
    EXPECT_TRUE(fetcher.ok()) << fetcher.setupError();
    std::map<std::string, FetchResult> results;
    std::size_t next = 0;
    while (results.size() < requests.size()) {
        while (next < requests.size() && fetcher.running() < std::size_t(options.connections))
            fetcher.start(requests[next++]);
        for (FetchResult& r : fetcher.poll(std::chrono::milliseconds(100)))
            results[r.url] = std::move(r);
    }
    return results;
}

TEST(CrawlFetcher, AnswersStatusesTypesRedirectsCapsAndFailures) {
    TempDir dir;
    SiteServer server(dir / "log", {"--slow", "3"});
    ASSERT_TRUE(server.running());
    FetchOptions options;
    options.userAgent = "orvo-test/1";
    options.timeout = std::chrono::milliseconds(1000);
    const std::string refusedUrl = "http://127.0.0.1:1/nothing.html";
    std::vector<FetchRequest> requests;
    for (const char* path : {"/site/", "/site/missing.html", "/site/error.html", "/site/moved.html",
                             "/site/zipped.html", "/site/big.html", "/site/big-stream.html",
                             "/site/plain.html", "/site/slow.html"})
        requests.push_back({requests.size(), server.url(path), false});
    requests.push_back({requests.size(), server.url("/site/img/logo.png"), true});
    requests.push_back({requests.size(), refusedUrl, false});
    requests.push_back(
        {requests.size(), "ftp://127.0.0.1:" + std::to_string(server.port()) + "/site/", false});
    requests.push_back({requests.size(), "file:///etc/hostname", false});
    auto r = fetchAll(options, requests);

    const FetchResult& start = r[server.url("/site/")];
    EXPECT_EQ(start.status, 200);
    EXPECT_EQ(start.contentType, "text/html");
    EXPECT_NE(start.body.find("about.html"), std::string::npos);
    EXPECT_GT(start.bytes, start.body.size());  // the headers count too

    EXPECT_EQ(r[server.url("/site/missing.html")].status, 404);
    EXPECT_EQ(r[server.url("/site/error.html")].status, 500);

    // A redirect is reported, not followed.
    const FetchResult& moved = r[server.url("/site/moved.html")];
    EXPECT_EQ(moved.status, 301);
    EXPECT_EQ(moved.location, "/site/renamed.html");
    EXPECT_EQ(server.count("GET /site/renamed.html"), 0);

    // The server sends this page only gzip-compressed, to clients that accept it.
    const FetchResult& zipped = r[server.url("/site/zipped.html")];
    EXPECT_EQ(zipped.status, 200);
    EXPECT_NE(zipped.body.find("unzipped.html"), std::string::npos);

    // Over the cap, with and without a length announced: no body is kept.
    for (const char* path : {"/site/big.html", "/site/big-stream.html"}) {
        const FetchResult& big = r[server.url(path)];
        EXPECT_EQ(big.status, 200) << path;
        EXPECT_TRUE(big.tooLarge) << path;
        EXPECT_TRUE(big.body.empty()) << path;
        EXPECT_TRUE(big.error.empty()) << path << ": " << big.error;
    }

    EXPECT_EQ(r[server.url("/site/plain.html")].contentType, "text/plain");

    const FetchResult& slow = r[server.url("/site/slow.html")];
    EXPECT_EQ(slow.status, 0);
    EXPECT_EQ(slow.error, "timed out after 1 s");

    const FetchResult& logo = r[server.url("/site/img/logo.png")];
    EXPECT_EQ(logo.status, 200);
    EXPECT_EQ(logo.contentType, "image/png");
    EXPECT_TRUE(logo.body.empty());
    EXPECT_EQ(server.count("HEAD /site/img/logo.png"), 1);
    EXPECT_EQ(server.count("GET /site/img/logo.png"), 0);

    const FetchResult& refused = r[refusedUrl];
    EXPECT_EQ(refused.status, 0);
    EXPECT_FALSE(refused.error.empty());

    // Only http and https are ever fetched.
    for (const auto& [url, result] : r) {
        if (url.rfind("http", 0) == 0) continue;
        EXPECT_EQ(result.status, 0) << url;
        EXPECT_FALSE(result.error.empty()) << url;
    }
    EXPECT_EQ(server.count("GET /site/"), 1);
}

TEST(CrawlFetcher, KeepsConnectionsAliveAndWithinTheLimit) {
    TempDir dir;
    SiteServer server(dir / "log", {"--pages", "40"});
    ASSERT_TRUE(server.running());
    FetchOptions options;
    options.connections = 2;
    std::vector<FetchRequest> requests;
    for (int i = 0; i < 40; ++i)
        requests.push_back({std::uint64_t(i), server.url("/gen/" + std::to_string(i) + ".html")});
    auto r = fetchAll(options, requests);
    ASSERT_EQ(r.size(), 40u);
    for (const auto& [url, result] : r) EXPECT_EQ(result.status, 200) << url;
    EXPECT_EQ(server.requests().size(), 40u);
    EXPECT_LE(server.connections().size(), 2u);
}

TEST(CrawlRobots, GroupsLongestMatchWildcardsAndEscapes) {
    const char* text =
        "# comment\n"
        "User-agent: *\n"
        "Disallow: /private/\n"
        "Allow: /private/open.html\n"
        "Disallow: /*.pdf$\n"
        "Disallow:\n"
        "\n"
        "User-agent: other\n"
        "Disallow: /\n";
    const RobotsRules anyone = RobotsRules::parse(text, "orvo");
    EXPECT_TRUE(anyone.allowed("/"));
    EXPECT_TRUE(anyone.allowed("/index.html"));
    EXPECT_FALSE(anyone.allowed("/private/"));
    EXPECT_FALSE(anyone.allowed("/private/x.html"));
    EXPECT_TRUE(anyone.allowed("/private/open.html"));  // the longer rule wins
    EXPECT_FALSE(anyone.allowed("/docs/a.pdf"));
    EXPECT_TRUE(anyone.allowed("/docs/a.pdf.html"));  // "$" anchors at the end
    EXPECT_TRUE(anyone.allowed("/robots.txt"));

    // A group naming the crawler replaces the "*" groups; names compare without case or version.
    const char* named =
        "User-agent: *\nDisallow: /\n\n"
        "User-agent: Other\nUser-agent: ORVO/1.0\nDisallow: /tmp\nAllow: /tmp/keep\nDisallow: "
        "/tmp/keep\n";
    const RobotsRules mine = RobotsRules::parse(named, productToken("orvo/2.0.0 (+site)"));
    EXPECT_TRUE(mine.allowed("/index.html"));
    EXPECT_FALSE(mine.allowed("/tmp/a"));
    EXPECT_FALSE(mine.allowed("/tmpfile"));
    EXPECT_TRUE(mine.allowed("/tmp/keep/a"));  // allow wins a tie of equal length
    EXPECT_FALSE(RobotsRules::parse(named, "someone").allowed("/index.html"));

    // Escapes are compared as the crawl writes paths.
    const RobotsRules escaped =
        RobotsRules::parse("User-agent: *\nDisallow: /%7Euser/\nDisallow: /a%2fb\n", "orvo");
    EXPECT_FALSE(escaped.allowed("/~user/page.html"));
    EXPECT_FALSE(escaped.allowed("/a%2Fb"));
    EXPECT_TRUE(escaped.allowed("/a/b"));

    // A rule starting with "*" and many stars must still end quickly.
    const RobotsRules stars = RobotsRules::parse(
        "User-agent: *\nDisallow: *a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b$\n", "orvo");
    EXPECT_TRUE(stars.allowed("/" + std::string(4000, 'a')));
    EXPECT_FALSE(stars.allowed("/" + std::string(40, 'a') + "b"));

    EXPECT_FALSE(RobotsRules::disallowAll().allowed("/index.html"));
    EXPECT_TRUE(RobotsRules().allowed("/anything"));
    EXPECT_EQ(productToken("  Orvo/2.0 (x)"), "orvo");
}

}  // namespace
}  // namespace orvo::crawl
