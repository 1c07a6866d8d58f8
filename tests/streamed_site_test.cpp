// The streamed site as the reader takes it: exactly the nodes asked for, no line skipped, every
// page of the site under its own folder's page once the pages listed first elsewhere have moved.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/graph_test_support.h"
#include "tools/streamed_site.h"

namespace orvo::testing {
namespace {

constexpr std::string_view kSiteRoot = "http://www.example.org/";

std::string streamedSite(int64_t nodes, uint64_t seed, SiteSummary* summary = nullptr) {
    std::ostringstream out;
    const SiteSummary written = writeStreamedSite(out, SiteOptions{nodes, seed});
    if (summary) *summary = written;
    return std::move(out).str();
}

// The folder page a page of the site belongs under: its id up to its last '/'.
std::string_view folderOf(std::string_view id) { return id.substr(0, id.rfind('/') + 1); }

TEST(StreamedSite, ReadsAsExactlyTheNodesAskedForWithEveryPageUnderItsFolder) {
    for (const int64_t nodes : {1, 2, 7, 3000, 200000}) {
        SCOPED_TRACE(nodes);
        SiteSummary summary;
        const std::string text = streamedSite(nodes, 5, &summary);
        ViewerSettings settings;
        settings.loadFlags = CompareComponents;  // pages listed first elsewhere move home
        Graph g(settings);
        ASSERT_TRUE(readText(g, text));
        EXPECT_EQ(g.nodes.size(), size_t(nodes));
        EXPECT_EQ(g.readStats.skippedLines, 0u);
        EXPECT_EQ(summary.bytes, int64_t(text.size()));
        EXPECT_EQ(summary.records + 1, int64_t(g.readStats.lines));  // and the home view
        EXPECT_EQ(summary.repeatRecords, summary.records - nodes);
        size_t pagesChecked = 0;
        for (const Node* n : g.nodes) {
            const std::string_view id = n->id;
            if (n->parent == nullptr || !id.starts_with(kSiteRoot) || !id.ends_with(".html"))
                continue;
            // A page's parent is its folder's page, however it was listed first.
            EXPECT_EQ(folderOf(n->parent->id), folderOf(id)) << id;
            ++pagesChecked;
        }
        if (nodes >= 3000) {
            // orvo-gen's shares: a page in eighty listed first elsewhere, half as many repeated
            // records as nodes, pages under folders a few levels deep.
            EXPECT_GT(pagesChecked, size_t(nodes) / 5);
            EXPECT_NEAR(double(summary.preListings) / double(nodes), 1.0 / 80, 0.004);
            EXPECT_NEAR(double(summary.repeatRecords) / double(nodes), 0.5, 0.01);
            EXPECT_GT(g.nodes.back()->level, 2);
        }
    }
}

TEST(StreamedSite, TheSameSeedGivesTheSameBytesAndAnotherSeedOthers) {
    EXPECT_EQ(streamedSite(5000, 3), streamedSite(5000, 3));
    EXPECT_NE(streamedSite(5000, 3), streamedSite(5000, 4));
}

}  // namespace
}  // namespace orvo::testing
