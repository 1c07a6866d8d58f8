// Node ids looked up one at a time and a batch at a time must give the same nodes, created in
// first-seen order, whatever the ids are like.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "import/site_graph.h"

namespace orvo {
namespace {

struct IdCase {
    const char* name;
    std::vector<std::string> ids;
};

std::vector<IdCase> idCases() {
    std::vector<IdCase> cases;
    std::vector<std::string> many;  // far more than reserved: the table grows while batches run
    for (int k = 0; k < 20000; ++k)
        many.push_back("http://example.org/p" + std::to_string(k % 7919));
    cases.push_back({"RepeatsAndGrowth", many});
    cases.push_back({"EmptyAndShort", {"", "a", "", "b", "a", "ab", "ba", "", "b"}});
    // Longer than a slot's length field holds: told apart by the rest of their bytes.
    const std::string longId(std::size_t{1} << 24, 'x');
    cases.push_back({"LongIds", {longId + "1", "x", longId + "2", longId + "1", longId, longId}});
    return cases;
}

class IdLookup : public ::testing::TestWithParam<IdCase> {};

TEST_P(IdLookup, OneAtATimeAndInBatchesGiveTheNodesOfFirstSeenOrder) {
    const std::vector<std::string>& ids = GetParam().ids;
    std::map<std::string, SiteGraph::Index> firstSeen;
    std::vector<SiteGraph::Index> expected;
    for (const std::string& id : ids) {
        expected.push_back(firstSeen.emplace(id, SiteGraph::Index(firstSeen.size())).first->second);
    }

    SiteGraph single, batched;
    single.reserve(4);
    batched.reserve(4);
    std::vector<SiteGraph::Index> one, many(ids.size());
    for (const std::string& id : ids) one.push_back(single.intern(id));
    const std::vector<std::string_view> views(ids.begin(), ids.end());
    for (size_t at = 0, size = 1; at < views.size(); at += size, size = size * 3 % 1000 + 1) {
        const size_t n = std::min(size, views.size() - at);
        batched.internAll(std::span(views).subspan(at, n), std::span(many).subspan(at, n));
    }
    EXPECT_EQ(one, expected);
    EXPECT_EQ(many, expected);
    ASSERT_EQ(batched.size(), firstSeen.size());
    for (const auto& [id, n] : firstSeen) {
        EXPECT_EQ(batched.id(n), id);
        EXPECT_EQ(batched.find(id), n);
    }
    EXPECT_EQ(batched.find("not an id"), SiteGraph::kNone);
}

INSTANTIATE_TEST_SUITE_P(Ids, IdLookup, ::testing::ValuesIn(idCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IdLookup, NodesAddedWithoutLookupAreFoundOnceLookedFor) {
    SiteGraph graph;
    for (int k = 0; k < 100; ++k) graph.add(std::to_string(k));
    EXPECT_EQ(graph.find("42"), 42u);
    EXPECT_EQ(graph.intern("99"), 99u);
    EXPECT_EQ(graph.intern("100"), 100u);
}

}  // namespace
}  // namespace orvo
