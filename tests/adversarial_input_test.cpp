// Input the format does not foresee: over-long lines, missing fields, zero bytes, lone carriage
// returns, binary junk, numbers out of range, non-finite positions, very deep and very wide
// outlines. (Random outlines with repeats, checked against the tree's invariants and against the
// same records applied one by one, are in compact_load_test.cpp.)
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "graph_invariants.h"
#include "graph_test_support.h"
#include "layout/layout.h"

using namespace orvo;
using namespace orvo::testing;

TEST(AdversarialInput, LongLinesAreSkippedWhole) {
    ViewerSettings settings;
    Graph g(settings);
    const std::string fits = "1 a 0 " + std::string(1023 - 6, 'g');  // exactly 1023 bytes
    const std::string tooLong = "1 b 0 " + std::string(1024 - 6, 'g');
    // If it were cut at 1023 bytes, the rest would read as a record of its own.
    const std::string hidesRecord = "1 c 0 " + std::string(1100, 'y') + " 1 d 0 html main";
    ASSERT_EQ(fits.size(), 1023u);
    ASSERT_TRUE(readText(g, "0 r 0\n" + fits + "\n" + tooLong + "\n" + hidesRecord + "\n1 e 0\n" +
                                std::string(200000, 'z')));
    EXPECT_EQ(childIds(g.root), (Strings{"a", "e"}));
    EXPECT_EQ(g.groupOf(*g.findNode("a"), 0).size(), 1023u - 6);
    // A long line with carriage returns or zero bytes is still one line.
    ASSERT_TRUE(
        readText(g, "0 r 0\n1 a 0 " + std::string(600, '\r') + std::string(600, '\0') + "1 z 0\n"));
    EXPECT_EQ(childIds(g.root), Strings{});
    EXPECT_EQ(checkGraphInvariants(g), "");
}

TEST(AdversarialInput, LinesAcrossReadChunksAreWhole) {
    // Records of every length straddle the 64 KiB read boundaries somewhere in a big file.
    std::string text = "0 http://site/ 0 html main\n";
    std::vector<std::string> expected;
    for (int i = 0; text.size() < 700 * 1024; ++i) {
        const std::string id =
            "http://site/" + std::string(static_cast<size_t>(i % 900), 'p') + std::to_string(i);
        text += "1 " + id + " 0 html main\n";
        expected.push_back(id);
    }
    text += "1 " + std::string(1500, 'q') + " 0\n";  // a long one, too
    for (int i = 0; i < 3; ++i) text += "1 tail" + std::to_string(i) + " 0 html main\n";
    expected.insert(expected.end(), {"tail0", "tail1", "tail2"});
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g, text));
    EXPECT_EQ(childIds(g.root), expected);
    for (const Node* n : g.nodes) EXPECT_EQ(g.groupsOf(*n).size(), 2u) << n->id;
}

TEST(AdversarialInput, RecordsWithTooFewFieldsAreSkipped) {
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g,
                         "0 r 0\n"
                         "1 a\n"                // no placeholder after the id
                         "1\n12\n"              // short lines, a level alone
                         "          \n\t \t\n"  // blanks only
                         "-99 position 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n"  // 15 numbers
                         "-99 position\n"
                         "1 b 0\n"));
    EXPECT_EQ(childIds(g.root), Strings{"b"});
    const ProjTransform identity = ProjTransform::identity();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(g.homeTransform().m[i], identity.m[i]);

    settings.loadFlags = ExtraField;
    ASSERT_TRUE(readText(g, "0 r 5 0\n1 a 5\n1 b 5 0 html\n"));  // a lacks the placeholder
    EXPECT_EQ(childIds(g.root), Strings{"b"});
    EXPECT_EQ(g.findNode("b")->parentLink->extra, 5);
}

TEST(AdversarialInput, ZeroBytesCarriageReturnsAndTabs) {
    ViewerSettings settings;
    Graph g(settings);
    using namespace std::string_literals;
    ASSERT_TRUE(readText(g,
                         "0 r 0 html\n"
                         "1 a\0 0 html\n"s       // the zero ends the content: too few fields
                         "1 b 0 ht\0ml main\n"s  // groups cut at the zero
                         "\0\0\0\n"s
                         "1 c 0\rjunk\r1 d 0\r\n"  // lone CRs do not end lines
                         "\t\t1\tx 0 g\n"));       // "1\tx" is one field: level 1, id "0"
    EXPECT_EQ(childIds(g.root), (Strings{"b", "c", "0"}));
    EXPECT_EQ(g.groupOf(*g.findNode("b"), 0), "ht");
    EXPECT_EQ(g.groupsOf(*g.findNode("b")).size(), 1u);
    EXPECT_EQ(g.findNode("d"), nullptr);
    EXPECT_EQ(checkGraphInvariants(g), "");

    // A file of nothing but zero bytes or carriage returns holds no node.
    EXPECT_FALSE(readText(g, std::string(100000, '\0')));
    EXPECT_FALSE(readText(g, std::string(100000, '\r')));
    EXPECT_FALSE(readText(g, std::string(100000, '\n')));
}

TEST(AdversarialInput, NumbersOutOfRangeSaturate) {
    ViewerSettings settings;
    settings.loadFlags = ExtraField | PreferAlphabetical;
    Graph g(settings);
    ASSERT_TRUE(readText(g,
                         "99999999999999999999 z 99999999999 0\n"
                         "2147483647 y -99999999999 0\n"
                         "-99999999999 position 1 0 0 0 0 1 0 0 0 0 1 0 1e999 -1e999 0 1\n"
                         "2147483647 x 0 0\n"
                         "99999999999 a 0 0\n"));
    EXPECT_EQ(g.root->level, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(childIds(g.root), (Strings{"y", "x", "a"}));
    EXPECT_EQ(g.findNode("y")->parentLink->extra, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(g.homeTransform().m[12], std::numeric_limits<double>::max());
    EXPECT_EQ(g.homeTransform().m[13], -std::numeric_limits<double>::max());

    // A move under a node of the highest level keeps the level in range.
    Graph h(settings);
    Node* top = h.addRecord(nullptr, "z", 0, 0);
    Node* high = h.addRecord(top, "a", std::numeric_limits<int32_t>::max(), 0);
    Node* other = h.addRecord(top, "b", 1, 0);
    Node* leaf = h.addRecord(other, "leaf", 2, 0);
    h.addRecord(high, "leaf", 0, 0);  // "a" sorts before "b": the leaf moves
    EXPECT_EQ(leaf->parent, high);
    EXPECT_EQ(leaf->level, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(h.summaryAndDump().substr(0, 4), "0 z ");
    EXPECT_EQ(checkGraphInvariants(h), "");

    // The same through the reader: p moves below s (level 2147483646), then x below p.
    settings.loadFlags = kWindowLoadFlags;
    Graph read(settings);
    ASSERT_TRUE(readFile(read, dataPath("level_overflow.graph")));
    Node* p = read.findNode("p");
    Node* x = read.findNode("x");
    EXPECT_EQ(p->parent->id, "s");
    EXPECT_EQ(p->level, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(x->parent, p);
    EXPECT_EQ(x->level, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(checkGraphInvariants(read), "");
}

TEST(AdversarialInput, NonFinitePositionsAreIgnored) {
    ViewerSettings settings;
    Graph g(settings);
    const std::string good = "-99 position 2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1\n";
    for (const std::string bad : {"nan", "-nan", "inf", "-INF", "Infinity", "NaN(1)"}) {
        ASSERT_TRUE(readText(
            g, "0 r 0\n" + good + "-99 position 1 0 0 0 0 1 0 0 0 0 1 0 " + bad + " 0 0 1\n"));
        EXPECT_EQ(g.homeTransform().m[0], 2.0) << bad;
        EXPECT_EQ(g.homeTransform().m[12], 0.0) << bad;
    }
}

TEST(AdversarialInput, BinaryJunkNeverBreaksTheReader) {
    std::mt19937 random(12345);
    // Bytes biased towards the format's own: digits, blanks, line feeds, slashes, letters.
    const std::string alphabet = "0123456789      \n\n\n\t\r/-.:abcQX_TOPNODEposition";
    for (int round = 0; round < 30; ++round) {
        std::string junk(20000 + 3000 * round, '\0');
        for (char& c : junk) {
            c = (random() % 4 == 0) ? static_cast<char>(random() % 256)
                                    : alphabet[random() % alphabet.size()];
        }
        for (int32_t flags : {int32_t{kWindowLoadFlags}, int32_t{0x3F}, int32_t{NeverMove},
                              int32_t{ExtraField | SameTopAncestor}}) {
            ViewerSettings settings;
            settings.loadFlags = flags;
            Graph g(settings);
            const bool loaded = readText(g, junk);
            EXPECT_EQ(loaded, !g.empty());
            ASSERT_EQ(checkGraphInvariants(g), "") << "round " << round << " flags " << flags;
            if (loaded) {
                EXPECT_FALSE(g.summaryAndDump().empty());
            }
        }
    }
}

TEST(AdversarialInput, OutlineTwoHundredThousandLevelsDeep) {
    constexpr int kDepth = 200000;
    std::string text;
    text.reserve(kDepth * 24);
    for (int i = 0; i < kDepth; ++i) {
        text += std::to_string(i) + " n" + std::to_string(i) + " 0 html main\n";
    }
    // Repeats of ancestors deep down: no move (deeper than the old parents), non-tree links.
    for (int i = 0; i < 1000; ++i) {
        text += std::to_string(kDepth) + " n" + std::to_string(i * 97) + " 0 html main\n";
    }
    ViewerSettings settings;
    settings.loadFlags = kWindowLoadFlags;
    Graph g(settings);
    ASSERT_TRUE(readText(g, text));
    ASSERT_EQ(g.nodes.size(), size_t(kDepth));
    ASSERT_EQ(g.links.size(), size_t(kDepth - 1 + 1000));
    Node* deepest = g.nodes.back();
    EXPECT_EQ(deepest->level, kDepth - 1);
    EXPECT_EQ(deepest->outLinks.size(), 1000u);
    ASSERT_EQ(checkGraphInvariants(g), "");

    const std::string dump = g.summaryAndDump();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), kDepth + 1000);
    EXPECT_EQ(dump.substr(0, 20), "0 n0 1  html main\n1 ");
    EXPECT_NE(dump.find("\n199999 n199999 1  html main\n200000 n0 0  html main\n"),
              std::string::npos);

    EXPECT_EQ(g.setOutLinksShown("QX_TOPNODE", 1, 1), 1);
    EXPECT_TRUE(deepest->outLinks[999]->isShown());
    EXPECT_EQ(g.setInLinksShown("n0", 0, 1), 1);
    EXPECT_EQ(deepest->outLinks[999]->flags, 0);
    EXPECT_EQ(g.collectShownSubtree("n0", -1).size(), size_t(kDepth));
    EXPECT_EQ(g.collectShownSubtree("n0", 10).size(), 11u);
    EXPECT_EQ(g.setGroupHidden(1, "main", 1), 1);
    EXPECT_TRUE(g.collectShownSubtree("n0", -1).empty());
    g.setNegativeLevelLinksHidden(1);
    g.setAllLinksShown(1);
    relayoutFrom(g, g.nodes[kDepth / 2]);

    Graph shown(settings);
    shown.takeContentsOf(g);
    // The taken nodes follow the hidden lists of `shown`, where "main" is not hidden.
    EXPECT_TRUE(shown.root->isShown());
    EXPECT_TRUE(shown.nodes.back()->parentLink->isShown());
    EXPECT_EQ(checkGraphInvariants(shown), "");
}

TEST(AdversarialInput, RootWithThreeHundredThousandChildrenThatAllMove) {
    constexpr int kChildren = 300000;
    std::string text = "0 z 0 html\n";
    text.reserve(kChildren * 30);
    for (int i = 0; i < kChildren; ++i) text += "1 c" + std::to_string(i) + " 0 image\n";
    text += "1 a 0 html\n";
    // Listed again under "a", which sorts before "z": every child moves, leaving a hole each.
    for (int i = 0; i < kChildren; ++i) text += "2 c" + std::to_string(i) + " 0 image\n";
    ViewerSettings settings;
    settings.loadFlags = PreferAlphabetical;
    Graph g(settings);
    ASSERT_TRUE(readText(g, text));
    Node* a = g.findNode("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(childIds(g.root), Strings{"a"});
    ASSERT_EQ(a->children.size(), size_t(kChildren));
    EXPECT_EQ(a->children[12345]->id, "c12345");
    EXPECT_EQ(g.root->outLinks.size(), size_t(kChildren));
    EXPECT_EQ(g.links.size(), size_t(2 * kChildren + 1));
    ASSERT_EQ(checkGraphInvariants(g), "");

    const std::string dump = g.summaryAndDump();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 2 * kChildren + 2);
    EXPECT_EQ(g.setOutLinksShown("z", 1, 1), 1);
    EXPECT_EQ(g.setInLinksShown("QX_TOPNODE", 1, 1), 1);
    EXPECT_EQ(g.collectShownSubtree("z", -1).size(), size_t(kChildren + 2));
    EXPECT_EQ(g.collectShownSubtree("z", 1).size(), 2u);
    EXPECT_EQ(g.setGroupHidden(0, "image", 1), 1);
    EXPECT_EQ(g.collectShownSubtree("z", -1).size(), 2u);
    relayoutFrom(g, a->children.back());
}
