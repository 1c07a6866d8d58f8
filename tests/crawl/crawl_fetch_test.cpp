// The crawl's fetcher against a real HTTP server on 127.0.0.1, and the robots.txt rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <sstream>

#include "crawl/crawl_fetcher.h"
#include "crawl/crawl_robots.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"

namespace orvo::crawl {
namespace {

using namespace orvo::test;

// Runs the requests until all have answered (each one answers or times out); results by URL.
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
    SiteServer server({"--slow", "3600"});
    ASSERT_TRUE(server.running());
    FetchOptions options;
    options.userAgent = "orvo-test/1";
    options.timeout = std::chrono::milliseconds(std::llround(answerTimeout() * 1000));
    std::ostringstream timedOut;
    timedOut << "timed out after " << answerTimeout() << " s";
    std::vector<FetchRequest> requests;
    for (const char* path : {"/site/", "/site/missing.html", "/site/error.html", "/site/moved.html",
                             "/site/zipped.html", "/site/big.html", "/site/big-stream.html",
                             "/site/plain.html", "/site/slow.html", "/site/img/logo.png"})
        requests.push_back({requests.size(), server.url(path), requests.size() == 9});  // HEAD
    // Refused; and only http and https are ever fetched.
    for (const std::string& url : std::vector<std::string>{
             "http://127.0.0.1:1/nothing.html",
             "ftp://127.0.0.1:" + std::to_string(server.port()) + "/site/", "file:///etc/hostname"})
        requests.push_back({requests.size(), url, false});
    // A line a request: status, content type, location of a redirect (not followed), over the
    // cap or not, body size, error (the transport's own words as "(error)"). zipped.html is sent
    // only gzip-compressed, to clients that accept it: its size is the decoded body's.
    std::string text;
    const std::map<std::string, FetchResult> results = fetchAll(options, requests);
    EXPECT_GT(results.at(server.url("/site/")).bytes, 1000u);  // the headers count too
    for (const auto& [url, r] : results) {
        const std::string error = r.error == timedOut.str() ? "timed out"
                                  : r.error.empty()         ? ""
                                                            : "(error)";
        text += url + " " + std::to_string(r.status) + " " + r.contentType + " " + r.location +
                " " + (r.tooLarge ? "too-large " : "") + std::to_string(r.body.size()) + " " +
                error + "\n";
    }
    std::vector<std::string> requested = server.requests();
    std::sort(requested.begin(), requested.end());
    for (const std::string& request : requested) text += request + "\n";
    EXPECT_TRUE(
        matchesGolden(replaceAll(text, std::to_string(server.port()), "PORT"), "site.fetched"));
}

TEST(CrawlFetcher, KeepsConnectionsAliveAndWithinTheLimit) {
    SiteServer server({"--pages", "40"});
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

// Rules of tests/data/tools/robots, a crawler's name and a path: longest match, allow winning a
// tie, "*" groups replaced by one naming the crawler, "$" anchors, escapes as the crawl writes
// paths, and a pattern of many stars that must still end quickly.
TEST(CrawlRobots, GroupsLongestMatchWildcardsAndEscapes) {
    std::istringstream cases(readWholeFile(ORVO_TEST_DATA "/tools/robots.decisions"));
    std::string decisions;
    for (std::string file, agent, path, ignored;
         cases >> file >> agent >> path && std::getline(cases, ignored);) {
        const std::string rules = readWholeFile(ORVO_TEST_DATA "/tools/robots/" + file);
        const bool allowed = RobotsRules::parse(rules, productToken(agent)).allowed(path);
        decisions += file + " " + agent + " " + path + (allowed ? " allowed\n" : " disallowed\n");
    }
    EXPECT_TRUE(!decisions.empty() && matchesGolden(decisions, "robots.decisions"));
    EXPECT_FALSE(RobotsRules::disallowAll().allowed("/index.html"));
    EXPECT_TRUE(RobotsRules().allowed("/anything"));
    EXPECT_EQ(productToken("  Orvo/2.0 (x)"), "orvo");
}

}  // namespace
}  // namespace orvo::crawl
