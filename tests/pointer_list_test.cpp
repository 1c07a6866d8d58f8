// The nodes' compact pointer lists: order kept through growth, erasing and copying, and moves
// that leave the source empty and own nothing twice (the sanitizer build checks the memory).
#include "graph/pointer_list.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace orvo {
namespace {

std::vector<int*> entries(const PointerList<int>& list) { return {list.begin(), list.end()}; }

TEST(PointerList, KeepsOrderThroughGrowthErasingCopiesAndMoves) {
    static_assert(sizeof(PointerList<int>) == 16);
    std::vector<int> values(1000);
    PointerList<int> list;
    EXPECT_TRUE(list.empty());
    std::vector<int*> expected;
    for (int& v : values) {
        list.push_back(&v);
        expected.push_back(&v);
    }
    ASSERT_EQ(list.size(), 1000u);
    EXPECT_EQ(entries(list), expected);
    EXPECT_EQ(list.front(), &values.front());
    EXPECT_EQ(list.back(), &values.back());
    EXPECT_EQ(*list.rbegin(), &values.back());
    EXPECT_EQ(std::vector<int*>(list.rbegin(), list.rend()),
              std::vector<int*>(expected.rbegin(), expected.rend()));

    // Erasing one entry, and every null among them, keeps the others in order.
    EXPECT_EQ(*list.erase(list.begin() + 10), &values[11]);
    expected.erase(expected.begin() + 10);
    for (size_t i = 0; i < list.size(); i += 7) list[i] = nullptr;
    std::vector<int*> kept;
    for (size_t i = 0; i < expected.size(); ++i) {
        if (i % 7 != 0) kept.push_back(expected[i]);
    }
    EXPECT_EQ(list.eraseValue(nullptr), expected.size() - kept.size());
    EXPECT_EQ(entries(list), kept);

    // A copy is its own; a move leaves the source empty.
    PointerList<int> copy = list;
    copy.push_back(&values[0]);
    EXPECT_EQ(entries(list), kept);
    EXPECT_EQ(copy.size(), kept.size() + 1);
    PointerList<int> moved = std::move(copy);
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(moved.back(), &values[0]);
    copy = moved;
    moved = std::move(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(entries(moved), kept);
    EXPECT_EQ(copy.size(), kept.size() + 1);

    const size_t room = moved.capacity();
    moved.clear();
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(moved.capacity(), room);
    moved.push_back(&values[5]);
    EXPECT_EQ(entries(moved), std::vector<int*>{&values[5]});
}

}  // namespace
}  // namespace orvo
