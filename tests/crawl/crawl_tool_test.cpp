// orvo-import with a web address: the graph file it writes from the test site on 127.0.0.1, an
// interrupted crawl's graph read back as the viewer reads it, TLS certificates.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo::test {
namespace {

const std::string kTimeout = std::to_string(answerTimeout());

// Crawls `start` with orvo-import into dir/name, which must match its golden file.
ToolRun crawlMatchesGolden(const SiteServer& server, const TempDir& dir, const std::string& start,
                           std::vector<std::string> options, const std::string& name) {
    options.insert(options.begin(), {server.url(start), "-o", dir.file(name), "--delay", "0"});
    const ToolRun run = runTool("orvo-import", options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(
        matchesGolden(replaceAll(readWholeFile(dir / name), server.url(""), "SERVER"), name));
    return run;
}

TEST(CrawlTool, WritesTheSitesGraphAsTheViewerReadsIt) {
    TempDir dir;
    SiteServer server({"--slow", "3600"});
    ASSERT_TRUE(server.running());
    const ToolRun run = crawlMatchesGolden(
        server, dir, "/site/", {"--timeout", kTimeout, "--connections", "3"}, "site.crawled.graph");
    // The reasons for missing pages are in the log on standard error.
    EXPECT_NE(run.err.find(server.url("/site/missing.html") + ": HTTP 404\n"), std::string::npos);
    EXPECT_NE(run.err.find(server.url("/site/slow.html") + ": timed out after "),
              std::string::npos);
}

TEST(CrawlTool, AnInterruptedCrawlLeavesAValidGraphOfWhatWasCrawled) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir, capture;
        // 50 ms a page: the crawl of 5 000 pages is far from its end when the signal comes.
        SiteServer server({"--pages", "5000", "--page-delay", "0.05"});
        ASSERT_TRUE(server.running());
        const std::string out = dir.file("partial.graph");
        const pid_t tool = startTool(capture, "orvo-import",
                                     {server.url("/gen/0.html"), "-o", out, "--delay", "0"});
        ASSERT_GT(tool, 0);
        orvo::testing::waitUntil([&] { return server.requests().size() >= 30; },
                                 std::chrono::seconds(60));
        ASSERT_GE(server.requests().size(), 30u);
        EXPECT_FALSE(std::filesystem::exists(out));  // nothing is written before the end
        kill(tool, signal);
        EXPECT_EQ(finishTool(capture, tool).status, 128 + signal);
        // A graph file the viewer reads, from the start page.
        const ToolRun read = runTool("orvo-inspect", {out});
        EXPECT_EQ(read.status + read.err.size(), 0u) << read.err;
        const size_t nodes = std::strtoul(read.out.c_str() + out.size() + 2, nullptr, 10);
        EXPECT_TRUE(nodes >= 20 && nodes < 5000) << read.out;
        EXPECT_TRUE(readWholeFile(out).starts_with("0 " + server.url("/gen/0.html") + " "));
        // Only the graph is left in the folder: no temporary file.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

TEST(CrawlTool, VerifiesTlsCertificatesUnlessToldNotTo) {
    TempDir dir;
    // HTTPS with a certificate no authority signed.
    SiteServer server({"--tls", dir.path()});
    ASSERT_TRUE(server.running());
    const std::string start = server.url("/site/about.html");
    ASSERT_TRUE(start.starts_with("https://"));
    const ToolRun refused = runTool(
        "orvo-import", {start, "-o", dir.file("never"), "--delay", "0", "--timeout", kTimeout});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.find(start + ": ") != std::string::npos &&
                refused.err.find("certificate") != std::string::npos)
        << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "never"));
    EXPECT_TRUE(server.requests().empty()) << "no request goes over an unverified connection";

    const ToolRun insecure = crawlMatchesGolden(
        server, dir, "/site/about.html", {"--timeout", kTimeout, "--max-depth", "1", "--insecure"},
        "site.insecure.crawled.graph");
    EXPECT_NE(insecure.err.find("warning: TLS certificates are not verified (--insecure)"),
              std::string::npos)
        << insecure.err;
}

}  // namespace
}  // namespace orvo::test
