// Two versions of a graph compared: the outline each pair gives, and its counts.
#include "graph/graph_compare.h"

#include <gtest/gtest.h>

#include "graph/graph.h"
#include "tests/graph_test_support.h"

using namespace orvo;
using namespace orvo::testing;

TEST(GraphCompare, EachPairGivesItsOutlineAndCounts) {
    // Records of 1 023 bytes are the longest the format holds: "1 ID 0 - added" is 12 + ID.
    const std::string fits(1011, 'f'), tooLong(1012, 't');
    const struct {
        std::string older, newer, outline, summary;
        uint64_t leftOut;
    } cases[] = {
        // A removed node hangs under its old parent, a removed child under it; the parents
        // whose links out differ are changed.
        {"0 r 0 html\n1 a 0 html\n2 a1 0 html\n1 b 0 html\n",
         "0 r 0 html\n1 b 0 html\n2 c 0 html\n",
         "0 r 0 html changed\n1 b 0 html changed\n2 c 0 html added\n1 a 0 html removed\n2 a1 0 "
         "html removed\n",
         "added 1, removed 2, changed 2, unchanged 0", 0},
        // A record too long is left out, its child hangs one level up.
        {"0 r 0\n", "0 r 0\n1 " + fits + " 0\n1 " + tooLong + " 0\n2 z 0\n",
         "0 r 0 - changed\n1 " + fits + " 0 - added\n1 z 0 - added\n",
         "added 3, removed 0, changed 1, unchanged 0", 1},
        // A further link, here the root's, follows the tree under its node's path restated.
        {"0 http://h/ 0\n1 http://h/a/ 0\n2 http://h/a/b 0\n1 http://h/a/b 0\n",
         "0 http://h/ 0\n1 http://h/a/ 0\n2 http://h/a/b 0\n1 http://h/a/b 0\n",
         "0 http://h/ 0 - unchanged\n1 http://h/a/ 0 - unchanged\n2 http://h/a/b 0 - unchanged\n"
         "0 http://h/ 0 - unchanged\n1 http://h/a/b 0 - unchanged\n",
         "added 0, removed 0, changed 0, unchanged 3", 0},
    };
    for (const auto& c : cases) {
        ViewerSettings settings;
        Graph older(settings), newer(settings);
        ASSERT_TRUE(readText(older, c.older) && readText(newer, c.newer));
        const GraphComparison result = compareGraphs(older, newer);
        EXPECT_EQ(result.outline, c.outline);
        EXPECT_EQ(comparisonSummary(result), c.summary);
        EXPECT_EQ(result.recordsLeftOut, c.leftOut);
    }
}
