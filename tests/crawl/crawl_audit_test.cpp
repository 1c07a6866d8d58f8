// The audit of a site served in two versions on 127.0.0.1: every address's outcome as its group,
// redirects as paths, the report, and the comparison of two crawls.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

#include "crawl/crawl_import.h"
#include "crawl/crawler.h"
#include "glue/status_text.h"
#include "graph/graph.h"
#include "settings/viewer_settings.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"

namespace orvo::test {
namespace {

// "error 1, ok 5, ..." over the nodes' kind-1 groups.
std::string groupCounts(const Graph& graph) {
    std::map<std::string, int> counts;
    for (const Node* n : graph.nodes) ++counts[std::string(graph.groupOf(*n, 1))];
    std::string text;
    for (const auto& [group, count] : counts)
        text += (text.empty() ? "" : ", ") + group + " " + std::to_string(count);
    return text;
}

TEST(CrawlAudit, EveryAddressKeepsItsOutcomeAndARedirectChainIsAPath) {
    SiteServer server;
    ASSERT_TRUE(server.running());
    const struct {
        int maxRedirects;
        std::string counts, sitemap, told;
    } cases[] = {
        // The site's /sitemap.xml lists listed-only.html, which no link reaches, and leaves out
        // old.html, older.html and end.html.
        {10, "error 1, external 1, missing 2, ok 3, orphan 1, redirect 5, robots 1, unlisted 3", "",
         ""},
        // chain1 -> chain2 -> chain3 -> end.html: the third hop is one too many.
        {2, "error 2, external 1, missing 2, ok 3, orphan 1, redirect 5, robots 1, unlisted 2", "",
         ""},
        // A sitemap named that cannot be had checks nothing, and says so.
        {10, "error 1, external 1, missing 2, ok 6, redirect 5, robots 1", "/audit/none.xml",
         "/audit/none.xml: HTTP 404; the pages are not checked against it\n"},
        // An index is followed to its own site's sitemaps, each once and as written (the query
        // too); the others are told.
        {10, "error 1, external 1, missing 2, ok 3, orphan 1, redirect 5, robots 1, unlisted 3",
         "/audit/index.xml",
         "sitemap /audit/index.xml: the sitemap https://other.invalid/sitemap.xml is on another "
         "site, left out\nsitemap /audit/none.xml: HTTP 404; its pages are left out\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxRedirects);
        crawl::CrawlOptions options;
        options.startUrl = server.url("/audit/");
        options.delaySeconds = 0;
        options.maxRedirects = c.maxRedirects;
        if (!c.sitemap.empty()) options.sitemap = server.url(c.sitemap);
        std::string log;
        crawl::CrawlCallbacks callbacks;
        callbacks.log = [&log](const std::string& line) { log += line + "\n"; };
        const crawl::CrawlResult r = crawl::crawlSite(options, callbacks);
        EXPECT_TRUE(replaceAll(log, server.url(""), "").ends_with(c.told)) << log;
        ASSERT_TRUE(r.ok) << r.error;
        std::string path;
        for (std::uint32_t i = r.nodes.size(); i-- > 0;) {
            if (!r.nodes[i].url.ends_with("/end.html")) continue;
            for (; i != crawl::CrawledNode::kNoParent; i = r.nodes[i].parent)
                path = r.nodes[i].url.substr(r.nodes[i].url.rfind('/')) + path;
            break;
        }
        EXPECT_EQ(path, "//chain1.html/chain2.html/chain3.html/end.html");
        const std::vector<std::string> asked = server.requests();
        EXPECT_EQ(std::count(asked.begin(), asked.end(), "GET /audit/sitemap.xml?part=2"),
                  c.sitemap == "/audit/index.xml" ? 1 : 0);

        // The status bar of a redirect names its target, a tree child or (closing the loop) a
        // further link.
        std::ostringstream text;
        ImportResult written;
        ASSERT_TRUE(writeCrawlGraph(r, text, {}, written));
        ViewerSettings settings;
        Graph graph(settings);
        std::istringstream in(text.str());
        graph.reload(in);
        EXPECT_EQ(groupCounts(graph), c.counts);
        for (const char* page : {"chain1", "loop2"}) {
            const Node* n = graph.findNode(server.url("/audit/") + page + ".html");
            ASSERT_NE(n, nullptr);
            EXPECT_EQ(replaceAll(nodeGroupsText(graph, *n), server.url(""), ""),
                      std::string("html, redirect to /audit/") +
                          (page[0] == 'c' ? "chain2" : "loop1") + ".html");
        }
    }
}

// orvo-import crawls version 1 with its report, then version 2 on the same address, and compares
// the two graph files, and the first with the live site.
TEST(CrawlAudit, TheReportAndTheComparisonOfTwoVersions) {
    TempDir dir;
    auto server = std::make_unique<SiteServer>();
    ASSERT_TRUE(server->running());
    const std::string start = server->url("/audit/"), port = std::to_string(server->port());
    const auto crawl = [&](const std::string& name, std::vector<std::string> more) {
        more.insert(more.begin(), {start, "-q", "--delay", "0", "-o", dir.file(name)});
        const ToolRun run = runTool("orvo-import", more);
        EXPECT_EQ(run.status, 0) << run.err;
    };
    crawl("v1.graph", {"--report", dir.file("v1.csv")});
    const auto golden = [&](const std::string& file, const std::string& name) {
        EXPECT_TRUE(
            matchesGolden(replaceAll(readWholeFile(dir / file), server->url(""), "SERVER"), name));
    };
    golden("v1.csv", "audit.report.csv");
    server.reset();  // the second version takes the same port
    server =
        std::make_unique<SiteServer>(std::vector<std::string>{"--version", "2", "--port", port});
    ASSERT_TRUE(server->running());
    crawl("v2.graph", {"--sitemap", server->url("/audit/sitemap.xml")});

    const ToolRun compared =
        runTool("orvo-import", {"--compare", dir.file("v1.graph"), dir.file("v2.graph"), "-o",
                                dir.file("diff.graph"), "--compare-csv", dir.file("diff.csv")});
    EXPECT_EQ(compared.status, 0) << compared.err;
    // c.html and new.html added, old.html and the older.html only it linked to removed, the
    // start and a.html relinked.
    EXPECT_EQ(compared.err, "orvo-import: added 2, removed 2, changed 2, unchanged 13\n");
    golden("diff.graph", "audit.compare.graph");
    golden("diff.csv", "audit.compare.csv");
    const ToolRun read = runTool("orvo-inspect", {dir.file("diff.graph")});
    EXPECT_EQ(read.status + read.err.size(), 0u) << read.err;

    const ToolRun live =
        runTool("orvo-import", {"-q", "--delay", "0", "--compare", dir.file("v1.graph"), start});
    EXPECT_EQ(live.out, readWholeFile(dir / "diff.graph"));
    const ToolRun same =
        runTool("orvo-import", {"--compare", dir.file("v2.graph"), dir.file("v2.graph")});
    EXPECT_EQ(same.err, "orvo-import: added 0, removed 0, changed 0, unchanged 17\n");
    // A report that cannot be written whole fails the run, saying why.
    const ToolRun full = runTool("orvo-import", {"--compare", dir.file("v2.graph"),
                                                 dir.file("v2.graph"), "--report", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("/dev/full: "), std::string::npos) << full.err;
}

}  // namespace
}  // namespace orvo::test
