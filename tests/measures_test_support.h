// The one comparison of two graphs' measures the tests share.
#pragma once

#include <gtest/gtest.h>

#include "graph/node_measures.h"

namespace orvo {

inline void expectSameMeasures(const NodeMeasures& got, const NodeMeasures& want) {
    EXPECT_EQ(got.depth, want.depth);
    EXPECT_EQ(got.linksIn, want.linksIn);
    EXPECT_EQ(got.linksOut, want.linksOut);
    EXPECT_EQ(got.subtree, want.subtree);
    EXPECT_EQ(got.score, want.score);
    EXPECT_EQ(got.scoreRounds, want.scoreRounds);
}

}  // namespace orvo
