// The crawl's fetcher against a real HTTP server on 127.0.0.1, and the robots.txt rules.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <sstream>

#include "import/crawl_fetcher.h"
#include "import/crawl_robots.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo::crawl {
namespace {

using orvo::test::SiteServer;
using orvo::test::TempDir;

// Runs the requests until all have answered (the server answers every one, or its timeout ends
// it, so this ends); results by URL.
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
    // The slow page never answers in time; every other answer has ample time however busy the
    // machine is.
    SiteServer server(dir / "log", {"--slow", "3600"});
    ASSERT_TRUE(server.running());
    FetchOptions options;
    options.userAgent = "orvo-test/1";
    options.timeout = orvo::testing::scaled(std::chrono::milliseconds(6000));
    std::ostringstream timeout;
    timeout << "timed out after " << options.timeout.count() / 1000.0 << " s";
    const std::string port = std::to_string(server.port()), any = "(any)";
    struct Case {
        std::string url;
        int status;
        std::string type = "", location = "", error = "";  // `any`: some error
        bool tooLarge = false;
        std::string bodyHas = "";
    };
    const std::vector<Case> cases = {
        {server.url("/site/"), 200, "text/html", "", "", false, "about.html"},
        {server.url("/site/missing.html"), 404},
        {server.url("/site/error.html"), 500},
        {server.url("/site/moved.html"), 301, "text/html", "/site/renamed.html"},  // not followed
        // Sent only gzip-compressed, to clients that accept it.
        {server.url("/site/zipped.html"), 200, "text/html", "", "", false, "unzipped.html"},
        // Over the cap, with and without a length announced: no body is kept.
        {server.url("/site/big.html"), 200, "text/html", "", "", true},
        {server.url("/site/big-stream.html"), 200, "text/html", "", "", true},
        {server.url("/site/plain.html"), 200, "text/plain"},
        {server.url("/site/slow.html"), 0, "", "", timeout.str()},
        {server.url("/site/img/logo.png"), 200, "image/png"},  // asked for with HEAD
        {"http://127.0.0.1:1/nothing.html", 0, "", "", any},   // refused
        // Only http and https are ever fetched.
        {"ftp://127.0.0.1:" + port + "/site/", 0, "", "", any},
        {"file:///etc/hostname", 0, "", "", any},
    };
    std::vector<FetchRequest> requests;
    for (const Case& c : cases)
        requests.push_back({requests.size(), c.url, c.url.ends_with(".png")});
    auto results = fetchAll(options, requests);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const FetchResult& r = results[c.url];
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(c.type.empty() ? "" : r.contentType, c.type);
        EXPECT_EQ(r.location, c.location);
        EXPECT_EQ(c.error == any ? !r.error.empty() : r.error == c.error, true) << r.error;
        EXPECT_EQ(r.tooLarge, c.tooLarge);
        EXPECT_TRUE(r.body.empty() || !(c.tooLarge || c.url.ends_with(".png")));
        EXPECT_NE(r.body.find(c.bodyHas), std::string::npos);
    }
    EXPECT_GT(results[server.url("/site/")].bytes, results[server.url("/site/")].body.size());
    EXPECT_EQ(server.count("GET /site/renamed.html"), 0);
    EXPECT_EQ(server.count("HEAD /site/img/logo.png"), 1);
    EXPECT_EQ(server.count("GET /site/img/logo.png"), 0);
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
    for (const auto& [url, result] : fetchAll(options, requests))
        EXPECT_EQ(result.status, 200) << url;
    EXPECT_EQ(server.requests().size(), 40u);
    EXPECT_LE(server.connections().size(), 2u);
}

TEST(CrawlRobots, GroupsLongestMatchWildcardsAndEscapes) {
    const std::string anyone =
        "# comment\nUser-agent: *\nDisallow: /private/\nAllow: /private/open.html\n"
        "Disallow: /*.pdf$\nDisallow:\n\nUser-agent: other\nDisallow: /\n";
    // A group naming the crawler replaces the "*" groups; names compare without case or version.
    const std::string named =
        "User-agent: *\nDisallow: /\n\nUser-agent: Other\nUser-agent: ORVO/1.0\nDisallow: /tmp\n"
        "Allow: /tmp/keep\nDisallow: /tmp/keep\n";
    const std::string escaped = "User-agent: *\nDisallow: /%7Euser/\nDisallow: /a%2fb\n";
    // A rule starting with "*" and many stars must still end quickly.
    const std::string stars = "User-agent: *\nDisallow: *a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b$\n";
    const std::string mine = productToken("orvo/2.0.0 (+site)");
    const struct {
        const std::string& rules;
        std::string agent, path;
        bool allowed;
    } cases[] = {
        {anyone, "orvo", "/", true},
        {anyone, "orvo", "/index.html", true},
        {anyone, "orvo", "/private/", false},
        {anyone, "orvo", "/private/x.html", false},
        {anyone, "orvo", "/private/open.html", true},  // the longer rule wins
        {anyone, "orvo", "/docs/a.pdf", false},
        {anyone, "orvo", "/docs/a.pdf.html", true},  // "$" anchors at the end
        {anyone, "orvo", "/robots.txt", true},
        {named, mine, "/index.html", true},
        {named, mine, "/tmp/a", false},
        {named, mine, "/tmpfile", false},
        {named, mine, "/tmp/keep/a", true},  // allow wins a tie of equal length
        {named, "someone", "/index.html", false},
        {escaped, "orvo", "/~user/page.html", false},  // escapes compared as the crawl writes paths
        {escaped, "orvo", "/a%2Fb", false},
        {escaped, "orvo", "/a/b", true},
        {stars, "orvo", "/" + std::string(4000, 'a'), true},
        {stars, "orvo", "/" + std::string(40, 'a') + "b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RobotsRules::parse(c.rules, c.agent).allowed(c.path), c.allowed) << c.path;
    EXPECT_FALSE(RobotsRules::disallowAll().allowed("/index.html"));
    EXPECT_TRUE(RobotsRules().allowed("/anything"));
    EXPECT_EQ(productToken("  Orvo/2.0 (x)"), "orvo");
}

}  // namespace
}  // namespace orvo::crawl
