// Every keyboard command against the settings, graph flags and pixels it must change, with the
// first-press toggle rules and the "l", "R" and "K" sequences, on an offscreen Mesa context.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/glue/glue_rig.h"

namespace orvo {
namespace {

class KeysGlTest : public GlueRig {
protected:
    void SetUp() override {
        GlueRig::SetUp();
        ASSERT_EQ(::pipe(input), 0);
        glue->keys().setInputFd(input[0]);
    }
    void TearDown() override {
        ::close(input[0]);
        if (input[1] >= 0) ::close(input[1]);
    }
    void feed(const std::string& text) {
        ASSERT_EQ(::write(input[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    /// The first non-tree link of the graph (its end is not the node's tree parent).
    Link* nonTreeLink() {
        for (Link* k : graph().links) {
            if (k->toNode->parentLink != k) return k;
        }
        return nullptr;
    }
    bool centred(const Node& n) {
        const ProjPoint seen = dehomogenized(
            (n.globalTransform * viewer().renderer().viewTransform()).apply(ProjPoint(0, 0, 0, 1)));
        return seen.norm3() < 0.05;
    }

    int input[2] = {-1, -1};
};

TEST_F(KeysGlTest, EveryKeyWorksBeforeAFileIsLoaded) {
    for (int c = 0; c < 256; ++c) glue->keyViewer(c);
    glue->keyViewer(0x173);  // only the low 8 bits count: this is "s"
    EXPECT_EQ(surface->swapCount(), 0);
    EXPECT_EQ(viewer().graph(), nullptr);
}

TEST_F(KeysGlTest, DigitsAndStarSetTheGenerationLimits) {
    key('5');
    EXPECT_EQ(settings().linkGenerationLimit, 5);
    EXPECT_EQ(settings().nodeGenerationLimit, 30);
    key('r');
    key('3');
    EXPECT_EQ(settings().nodeGenerationLimit, 3);
    EXPECT_EQ(settings().linkGenerationLimit, 5);
    key('r');
    key('0');
    EXPECT_EQ(settings().linkGenerationLimit, 0);
    EXPECT_EQ(settings().nodeGenerationLimit, 3);
    key('*');
    EXPECT_EQ(settings().nodeGenerationLimit, 99);
    EXPECT_EQ(settings().linkGenerationLimit, 99);
    key('9');
    EXPECT_EQ(settings().linkGenerationLimit, 9);
}

TEST_F(KeysGlTest, FlagKeysFollowTheirToggles) {
    // "l": 2 (already its value), then 0, 1, 2, 0.
    for (int expected : {2, 0, 1, 2, 0}) {
        key('l');
        EXPECT_EQ(settings().labelChoice, expected);
    }
    // "s" starts at 1, so its first press passes 0.
    key('s');
    EXPECT_EQ(settings().drawSphere, 0);
    key('s');
    EXPECT_EQ(settings().drawSphere, 1);
    for (char k : {'C', 'g'}) {
        key(k);
        key(k);
    }
    EXPECT_EQ(settings().redCentreNode, 0);
    EXPECT_EQ(settings().groupColumn, 0);
    key('C');
    EXPECT_EQ(settings().redCentreNode, 1);
    key('g');
    EXPECT_EQ(settings().groupColumn, 1);

    // "b" and "B" print the size before the change.
    ::testing::internal::CaptureStderr();
    key('b');
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "labsize 20.000000\n");
    EXPECT_FLOAT_EQ(viewer().labelSize(), 19.0f);
    ::testing::internal::CaptureStderr();
    key('B');
    key('B');
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "labsize 19.000000\nlabsize 20.000000\n");
    EXPECT_FLOAT_EQ(viewer().labelSize(), 21.0f);
}

TEST_F(KeysGlTest, ColourSchemesCycleAndReachThePicture) {
    open("viewer_groups.graph");
    glue->displayViewer();
    EXPECT_EQ(pixel(DrawBuffer::Front, 2, 2), (std::array<int, 3>{255, 255, 255}));
    // The first "R" gives scheme 1 (grey), the second scheme 2 (black), the third scheme 0.
    key('R');
    EXPECT_FLOAT_EQ(settings().backgroundColor[0], 0.5f);
    EXPECT_FLOAT_EQ(settings().sphereColor[1], 0.4f);
    EXPECT_FLOAT_EQ(settings().labelColor[0], 0.0f);
    const std::array<int, 3> grey = pixel(DrawBuffer::Front, 2, 2);
    EXPECT_NEAR(grey[0], 128, 1);
    EXPECT_NEAR(grey[2], 128, 1);
    key('R');
    EXPECT_FLOAT_EQ(settings().backgroundColor[0], 0.0f);
    EXPECT_FLOAT_EQ(settings().sphereColor[0], 0.25f);
    EXPECT_FLOAT_EQ(settings().labelColor[0], 1.0f);
    EXPECT_EQ(pixel(DrawBuffer::Front, 2, 2), (std::array<int, 3>{0, 0, 0}));
    key('R');
    EXPECT_FLOAT_EQ(settings().backgroundColor[0], 1.0f);
    EXPECT_FLOAT_EQ(settings().sphereColor[0], 0.89f);
    EXPECT_FLOAT_EQ(settings().labelColor[0], 0.0f);
    EXPECT_EQ(pixel(DrawBuffer::Front, 2, 2), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(glue->keys().colourScheme(), 0);
}

TEST_F(KeysGlTest, WindowAspectToggleIsIndependentOfLoads) {
    open("viewer_groups.graph");
    EXPECT_EQ(settings().useWindowAspect, 1);
    key('K');  // toggle 0 -> 1: sets 1 again
    EXPECT_EQ(settings().useWindowAspect, 1);
    key('K');
    EXPECT_EQ(settings().useWindowAspect, 0);
    open("viewer_groups.graph");  // the load sets 1 and leaves the toggle at 0
    EXPECT_EQ(settings().useWindowAspect, 1);
    EXPECT_EQ(glue->keys().toggle('K'), 0);
    key('K');
    EXPECT_EQ(settings().useWindowAspect, 1);
    key('K');
    EXPECT_EQ(settings().useWindowAspect, 0);
}

TEST_F(KeysGlTest, GroupKeysHideOnTheirSecondPress) {
    open("viewer_groups.graph");
    Node& external = node("http://x.org/");
    Node& orphan = node("http://h/b.html");
    const std::vector<Node*> media{&node("http://h/a/song.mp3"), &node("http://h/a/pic.gif"),
                                   &node("http://h/b/doc.txt"), &node("http://h/b/run.exe"),
                                   &node("http://h/a/deep/notes.txt")};
    // First press: hide 0, which is already so.
    key('e');
    key('o');
    key('m');
    EXPECT_TRUE(external.isShown());
    EXPECT_TRUE(orphan.isShown());
    for (Node* n : media) EXPECT_TRUE(n->isShown()) << n->id;
    // Second press hides.
    key('e');
    EXPECT_FALSE(external.isShown());
    key('o');
    EXPECT_FALSE(orphan.isShown());
    key('m');
    for (Node* n : media) EXPECT_FALSE(n->isShown()) << n->id;
    EXPECT_TRUE(node("http://h/a/deep.html").isShown());
    EXPECT_TRUE(node("http://h/").isShown());
    // Third press shows again.
    key('e');
    key('o');
    key('m');
    for (Node* n : graph().nodes) EXPECT_TRUE(n->isShown()) << n->id;
}

TEST_F(KeysGlTest, NodeAndLinkVisibilityKeys) {
    open("viewer_groups.graph");
    glue->displayViewer();
    // The first "n" hides every node, and nothing is drawn at the window centre any more.
    const std::array<int, 3> white{255, 255, 255};
    key('s');  // no sphere, so the centre pixel is background when no node is drawn
    EXPECT_NE(pixel(DrawBuffer::Front, kWidth / 2, kHeight / 2), white);
    key('n');
    for (Node* n : graph().nodes) EXPECT_FALSE(n->isShown()) << n->id;
    EXPECT_EQ(pixel(DrawBuffer::Front, kWidth / 2, kHeight / 2), white);
    key('n');
    for (Node* n : graph().nodes) EXPECT_TRUE(n->isShown()) << n->id;

    Link* extra = nonTreeLink();
    ASSERT_NE(extra, nullptr);
    Link* tree = node("http://h/a.html").parentLink;
    ASSERT_NE(tree, nullptr);
    EXPECT_FALSE(extra->flags & Enabled);
    EXPECT_TRUE(tree->isShown());
    // The first "N" hides every link, tree links too; the second shows all, non-tree included.
    key('N');
    for (Link* k : graph().links) EXPECT_FALSE(k->isShown());
    key('N');
    for (Link* k : graph().links) {
        EXPECT_TRUE(k->flags & Enabled);
        EXPECT_TRUE(k->isShown());
    }

    key('h');
    EXPECT_EQ(settings().hideNegativeLevelLinks, 1);
    key('h');
    EXPECT_EQ(settings().hideNegativeLevelLinks, 0);
}

TEST_F(KeysGlTest, LinkKeysEnableNonTreeLinksOfTheTreeAndOfTheSelection) {
    open("viewer_groups.graph");
    Link* extra = nonTreeLink();
    ASSERT_NE(extra, nullptr);
    const std::string from(extra->fromNode->id), to(extra->toNode->id);
    const std::string root(graph().nodes[0]->id);
    auto enabled = [&] { return (extra->flags & Enabled) != 0; };

    // Whole tree: "u" out-links, "i" in-links (toggles start at 0, so the first press shows).
    for (char k : {'u', 'i'}) {
        key(k);
        EXPECT_TRUE(enabled()) << k;
        key(k);
        EXPECT_FALSE(enabled()) << k;
    }
    // The selected node alone ("w" out, "k" in) and its subtree ("v" out, "j" in).
    const struct {
        char key;
        std::string select;
    } cases[] = {{'w', from}, {'k', to}, {'v', root}, {'j', root}};
    for (const auto& c : cases) {
        glue->onPicked(c.select, 0, 0);
        key(c.key);
        EXPECT_TRUE(enabled()) << c.key;
        key(c.key);
        EXPECT_FALSE(enabled()) << c.key;
    }
    // A node that is neither end, alone: nothing changes.
    glue->onPicked("http://h/a/pic.gif", 0, 0);
    key('w');
    key('k');
    EXPECT_FALSE(enabled());
}

TEST_F(KeysGlTest, SubtreeSelectionLabelSideAndTopNode) {
    open("viewer_groups.graph");
    glue->onPicked("http://h/a.html", 0, 0);
    key('S');
    for (const char* id : {"http://h/a.html", "http://h/a/song.mp3", "http://h/a/deep/notes.txt"}) {
        EXPECT_TRUE(node(id).flags & Selected) << id;
    }
    EXPECT_FALSE(node("http://h/").flags & Selected);
    key('S');
    for (Node* n : graph().nodes) EXPECT_FALSE(n->flags & Selected) << n->id;

    // "L": labels to the right of their node, then to the left.
    Node& a = node("http://h/a.html");
    ASSERT_TRUE(centred(a));
    key('L');
    const double rightX = viewer().renderer().labelAnchorOf(a).x;
    key('L');
    const double leftX = viewer().renderer().labelAnchorOf(a).x;
    EXPECT_GT(rightX, kWidth / 2.0);
    EXPECT_LT(leftX, kWidth / 2.0);

    // "c": back to the top node.
    key('c');
    EXPECT_TRUE(centred(*graph().nodes[0]));
    EXPECT_FALSE(centred(a));
}

TEST_F(KeysGlTest, AnyKeyDrawsAFrameWhenAGraphIsLoaded) {
    open("viewer_groups.graph");
    const int swaps = surface->swapCount();
    key('z');  // no command
    EXPECT_EQ(surface->swapCount(), swaps + 1);
    EXPECT_EQ(viewer().renderer().keepRedrawing(), 1);
}

TEST_F(KeysGlTest, FindReadsOneWholeLineWithoutWaiting) {
    open("viewer_groups.graph");
    Node& deep = node("http://h/a/deep.html");
    Node& doc = node("http://h/b/doc.txt");
    ASSERT_FALSE(centred(deep));

    // Nothing to read: returns without waiting for input (a read that waited would never
    // return, so any bound tells) and changes nothing.
    const auto start = std::chrono::steady_clock::now();
    key('f');
    EXPECT_LT(std::chrono::steady_clock::now() - start, testing::scaled(std::chrono::seconds(30)));
    EXPECT_FALSE(centred(deep));

    // A line's start without its end waits for the rest.
    feed("http://h/a/de");
    key('f');
    EXPECT_FALSE(centred(deep));
    feed("ep.html\n");
    key('f');
    EXPECT_TRUE(centred(deep));

    // A line far longer than 1023 characters is taken whole, so the next line is the next id.
    feed(std::string(1500, 'x') + "\n" + std::string(doc.id) + "\r\n");
    key('f');
    EXPECT_TRUE(centred(deep));
    key('f');
    EXPECT_TRUE(centred(doc));

    // End of input: the last line without a line end still counts, then nothing more.
    feed(std::string(deep.id));
    ::close(input[1]);
    input[1] = -1;
    key('f');
    EXPECT_TRUE(centred(deep));
    key('f');
    EXPECT_TRUE(centred(deep));
}

TEST_F(KeysGlTest, FindOnAClosedInputDoesNothing) {
    open("viewer_groups.graph");
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ::close(fd);  // a descriptor that is not open any more
    glue->keys().setInputFd(fd);
    const ProjTransform before = viewer().renderer().viewTransform();
    key('f');
    for (int i = 0; i < 16; ++i) EXPECT_EQ(viewer().renderer().viewTransform().m[i], before.m[i]);
}

}  // namespace
}  // namespace orvo
