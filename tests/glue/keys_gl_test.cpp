// Every keyboard command against the settings, graph flags and pixels it must change, with the
// first-press toggle rules and the "l", "R" and "K" sequences, on an offscreen Mesa context.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

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

    int input[2] = {-1, -1};
};

TEST_F(KeysGlTest, EveryKeyWorksBeforeAFileIsLoaded) {
    for (int c = 0; c < 256; ++c) glue->keyViewer(c);
    glue->keyViewer(0x173);  // only the low 8 bits count: this is "s"
    EXPECT_EQ(surface->swapCount(), 0);
    EXPECT_EQ(viewer().graph(), nullptr);
}

TEST_F(KeysGlTest, SwitchesFollowTheirTogglesPressAfterPress) {
    const struct {
        char key;
        int32_t ViewerSettings::*field;
        std::vector<int32_t> afterEachPress;
    } switches[] = {
        {'l', &ViewerSettings::labelChoice, {2, 0, 1, 2, 0}},  // 2 is already its value
        {'s', &ViewerSettings::drawSphere, {0, 1, 0}},         // its toggle starts at 1
        {'C', &ViewerSettings::redCentreNode, {1, 0, 1}},
        {'g', &ViewerSettings::groupColumn, {1, 0, 1}},
    };
    for (const auto& s : switches) {
        for (size_t i = 0; i < s.afterEachPress.size(); ++i) {
            key(s.key);
            EXPECT_EQ(settings().*s.field, s.afterEachPress[i]) << s.key << " press " << i + 1;
        }
    }
    // Digits set the link generation limit, after "r" the node limit; "*" lifts both.
    const struct {
        const char* typed;
        int32_t nodeLimit, linkLimit;
    } limits[] = {{"5", 30, 5}, {"r3", 3, 5}, {"r0", 3, 0}, {"*", 99, 99}, {"9", 99, 9}};
    for (const auto& l : limits) {
        keys(l.typed);
        EXPECT_EQ(settings().nodeGenerationLimit, l.nodeLimit) << l.typed;
        EXPECT_EQ(settings().linkGenerationLimit, l.linkLimit) << l.typed;
    }
    // "b" and "B" print the size before the change.
    ::testing::internal::CaptureStderr();
    keys("bBB");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "labsize 20.000000\nlabsize 19.000000\nlabsize 20.000000\n");
    EXPECT_FLOAT_EQ(viewer().labelSize(), 21.0f);
}

TEST_F(KeysGlTest, TheWindowAspectToggleIsIndependentOfLoads) {
    open("viewer_groups.graph");
    // The load sets the aspect without touching the toggle, each time.
    for (int load = 0; load < 2; ++load) {
        EXPECT_EQ(settings().useWindowAspect, 1);
        EXPECT_EQ(glue->keys().toggle('K'), 0);
        key('K');  // toggle 0 -> 1: sets 1 again
        EXPECT_EQ(settings().useWindowAspect, 1);
        key('K');
        EXPECT_EQ(settings().useWindowAspect, 0);
        open("viewer_groups.graph");
    }
}

TEST_F(KeysGlTest, ColourSchemesCycleAndReachThePicture) {
    open("viewer_groups.graph");
    glue->displayViewer();
    EXPECT_EQ(pixel(DrawBuffer::Front, 2, 2), (std::array<int, 3>{255, 255, 255}));
    // The first "R" gives scheme 1 (grey), the second scheme 2 (black), the third scheme 0.
    const struct {
        float background, sphere0, sphere1, label;
        int ground;
    } schemes[] = {{0.5f, 0.5f, 0.4f, 0.0f, 128},
                   {0.0f, 0.25f, 0.15f, 1.0f, 0},
                   {1.0f, 0.89f, 0.7f, 0.0f, 255}};
    for (const auto& s : schemes) {
        key('R');
        EXPECT_FLOAT_EQ(settings().backgroundColor[0], s.background);
        EXPECT_FLOAT_EQ(settings().sphereColor[0], s.sphere0);
        EXPECT_FLOAT_EQ(settings().sphereColor[1], s.sphere1);
        EXPECT_FLOAT_EQ(settings().labelColor[0], s.label);
        for (int channel : pixel(DrawBuffer::Front, 2, 2)) EXPECT_NEAR(channel, s.ground, 1);
    }
    EXPECT_EQ(glue->keys().colourScheme(), 0);
}

TEST_F(KeysGlTest, GroupKeysHideTheirNodesOnTheirSecondPress) {
    open("viewer_groups.graph");
    const struct {
        char key;
        std::vector<const char*> hidden;
    } groups[] = {{'e', {"http://x.org/"}},
                  {'o', {"http://h/b.html"}},
                  {'m',
                   {"http://h/a/song.mp3", "http://h/a/pic.gif", "http://h/b/doc.txt",
                    "http://h/b/run.exe", "http://h/a/deep/notes.txt"}}};
    for (const auto& g : groups) {
        for (int press = 1; press <= 3; ++press) {
            key(g.key);
            for (Node* n : graph().nodes) {
                const bool listed = std::find_if(g.hidden.begin(), g.hidden.end(), [&](auto id) {
                                        return n->id == id;
                                    }) != g.hidden.end();
                EXPECT_EQ(n->isShown(), !(listed && press == 2)) << g.key << press << n->id;
            }
        }
    }
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
    EXPECT_FALSE(extra->flags & Enabled);
    EXPECT_TRUE(node("http://h/a.html").parentLink->isShown());
    // The first "N" hides every link, tree links too; the second shows all, non-tree included.
    key('N');
    for (Link* k : graph().links) EXPECT_FALSE(k->isShown());
    key('N');
    for (Link* k : graph().links) EXPECT_TRUE(k->isShown() && (k->flags & Enabled));
    key('h');
    EXPECT_EQ(settings().hideNegativeLevelLinks, 1);
    key('h');
    EXPECT_EQ(settings().hideNegativeLevelLinks, 0);

    // Non-tree links of the whole tree: "u" out-links, "i" in-links (toggles start at 0, so the
    // first press shows); of the selected node alone ("w" out, "k" in) and of its subtree ("v"
    // out, "j" in).
    open("viewer_groups.graph");
    extra = nonTreeLink();
    const std::string from(extra->fromNode->id), to(extra->toNode->id);
    const std::string root(graph().nodes[0]->id);
    const std::pair<char, std::string> linkKeys[] = {{'u', ""}, {'i', ""},   {'w', from},
                                                     {'k', to}, {'v', root}, {'j', root}};
    for (const auto& [k, selected] : linkKeys) {
        if (!selected.empty()) glue->onPicked(selected, 0, 0);
        key(k);
        EXPECT_TRUE(extra->flags & Enabled) << k;
        key(k);
        EXPECT_FALSE(extra->flags & Enabled) << k;
    }
    // A node that is neither end, alone: nothing changes.
    glue->onPicked("http://h/a/pic.gif", 0, 0);
    keys("wk");
    EXPECT_FALSE(extra->flags & Enabled);
}

TEST_F(KeysGlTest, SubtreeSelectionLabelSideTopNodeAndAFrameForAnyKey) {
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
    EXPECT_GT(viewer().renderer().labelAnchorOf(a).x, kWidth / 2.0);
    key('L');
    EXPECT_LT(viewer().renderer().labelAnchorOf(a).x, kWidth / 2.0);

    // "c": back to the top node.
    key('c');
    EXPECT_TRUE(centred(*graph().nodes[0]));
    EXPECT_FALSE(centred(a));

    const int swaps = surface->swapCount();
    key('z');  // no command
    EXPECT_EQ(surface->swapCount(), swaps + 1);
    EXPECT_EQ(viewer().renderer().keepRedrawing(), 1);
}

// "f" reads the id of the node to travel to from its input, one whole line at a time, and never
// waits for one.
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
    EXPECT_EQ(glue->keyStatus(), "No id on standard input");
    EXPECT_FALSE(centred(deep));

    // A line's start without its end waits for the rest.
    feed("http://h/a/de");
    key('f');
    EXPECT_FALSE(centred(deep));
    feed("ep.html\nhttp://no/such\n");
    key('f');
    EXPECT_TRUE(centred(deep));
    EXPECT_EQ(glue->keyStatus(), "Flying to http://h/a/deep.html");
    EXPECT_EQ(*glue->history().current(), "http://h/a/deep.html");
    key('f');
    EXPECT_EQ(glue->keyStatus(), "No shown node has the id http://no/such");

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

    // A descriptor that is not open any more: nothing moves.
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ::close(fd);
    glue->keys().setInputFd(fd);
    const ProjTransform before = viewer().renderer().viewTransform();
    key('f');
    for (int i = 0; i < 16; ++i) EXPECT_EQ(viewer().renderer().viewTransform().m[i], before.m[i]);
}

}  // namespace
}  // namespace orvo
