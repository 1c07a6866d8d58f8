// The audit of a site served in two versions on 127.0.0.1: the outcome of every address as its
// group and redirects as paths, with exact counts.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "glue/status_text.h"
#include "graph/graph.h"
#include "import/crawl_import.h"
#include "import/crawler.h"
#include "settings/viewer_settings.h"
#include "tests/crawl/site_server.h"
#include "tests/run_tool.h"

namespace orvo::test {
namespace {

// "error 1, ok 5, ..." over the nodes' kind-1 groups.
std::string groupCounts(const crawl::CrawlResult& r) {
    std::map<std::string, int> counts;
    for (const crawl::CrawledNode& n : r.nodes) ++counts[n.group];
    std::string text;
    for (const auto& [group, count] : counts)
        text += (text.empty() ? "" : ", ") + group + " " + std::to_string(count);
    return text;
}

TEST(CrawlAudit, EveryAddressKeepsItsOutcomeAndARedirectChainIsAPath) {
    TempDir dir;
    SiteServer server(dir / "log");
    ASSERT_TRUE(server.running());
    const struct {
        int maxRedirects;
        std::string counts;
    } cases[] = {
        {10, "error 1, external 1, missing 2, ok 6, redirect 5, robots 1"},
        // chain1 -> chain2 -> chain3 -> end.html: the third hop is one too many.
        {2, "error 2, external 1, missing 2, ok 5, redirect 5, robots 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxRedirects);
        crawl::CrawlOptions options;
        options.startUrl = server.url("/audit/");
        options.delaySeconds = 0;
        options.maxRedirects = c.maxRedirects;
        const crawl::CrawlResult r = crawl::crawlSite(options, {});
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(groupCounts(r), c.counts);
        std::string path;
        for (std::uint32_t i = r.nodes.size(); i-- > 0;) {
            if (!r.nodes[i].url.ends_with("/end.html")) continue;
            for (; i != crawl::CrawledNode::kNoParent; i = r.nodes[i].parent)
                path = r.nodes[i].url.substr(r.nodes[i].url.rfind('/')) + path;
            break;
        }
        EXPECT_EQ(path, "//chain1.html/chain2.html/chain3.html/end.html");

        // The status bar of a redirect names its target, a tree child or (closing the loop) a
        // further link.
        std::ostringstream text;
        ImportResult written;
        ASSERT_TRUE(writeCrawlGraph(r, text, {}, written));
        ViewerSettings settings;
        Graph graph(settings);
        std::istringstream in(text.str());
        graph.reload(in);
        for (const char* page : {"chain1", "loop2"}) {
            const Node* n = graph.findNode(server.url("/audit/") + page + ".html");
            ASSERT_NE(n, nullptr);
            EXPECT_EQ(replaceAll(nodeGroupsText(graph, *n), server.url(""), ""),
                      std::string("html, redirect to /audit/") +
                          (page[0] == 'c' ? "chain2" : "loop1") + ".html");
        }
    }
}

}  // namespace
}  // namespace orvo::test
