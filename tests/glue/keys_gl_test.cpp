// Every keyboard command against the settings, graph flags and pixels it must change, with the
// first-press toggle rules and the "l", "R" and "K" sequences, on an offscreen Mesa context.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "glue/key_status.h"
#include "glue/key_table.h"
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
    std::string stateAfter(const std::string& pressed);

    int input[2] = {-1, -1};
    int swaps = 0;
};

// What each key press of a script left, one line a press: the last selection, the status texts, the
// switches, limits and colours, the View menu's checked keys, the pixels in a corner and at the
// centre (each channel in eighths of its range, so within 16 of the value), the frames drawn, the
// hidden nodes, the shown and enabled links, the selection, the node at the centre and its label's
// side, what was printed.
std::string KeysGlTest::stateAfter(const std::string& pressed) {
    const ViewerSettings& s = settings();
    std::ostringstream line;
    line << pressed << " | last " << glue->lastSelectedId() << " | " << glue->keyStatus() << " | "
         << glue->graphStatus() << " | l" << s.labelChoice << " s" << s.drawSphere << " C"
         << s.redCentreNode << " g" << s.groupColumn << " h" << s.hideNegativeLevelLinks << " K"
         << s.useWindowAspect << " limits " << s.nodeGenerationLimit << "/" << s.linkGenerationLimit
         << " label " << viewer().labelSize() << " colours " << s.backgroundColor[0] << ","
         << s.sphereColor[0] << "," << s.sphereColor[1] << "," << s.labelColor[0];
    if (!glue->graphLoaded()) return line.str() + "\n";
    const auto eighths = [&](int x, int y) {
        std::string text;
        for (int c : pixel(DrawBuffer::Front, x, y)) text += std::to_string((c + 16) / 32) + ".";
        return text;
    };
    line << " | checked ";
    for (const KeyMenuEntry& e : keyMenuEntries()) {
        if (e.kind == KeyMenuKind::Check && keyChecked(e.key, glue->keys(), viewer()))
            line << e.key;
    }
    line << " | corner " << eighths(2, 2) << " centre " << eighths(kWidth / 2, kHeight / 2)
         << " frames " << surface->swapCount() - swaps << " redraw "
         << viewer().renderer().keepRedrawing() << " | hidden";
    swaps = surface->swapCount();
    for (Node* n : graph().nodes) {
        if (!n->isShown()) line << " " << n->id;
    }
    int shown = 0, enabled = 0;
    for (Link* k : graph().links) shown += k->isShown(), enabled += (k->flags & Enabled) != 0;
    line << " | links " << shown << "/" << enabled << " | selected";
    for (Node* n : graph().nodes) {
        if (n->flags & Selected) line << " " << n->id;
    }
    for (Node* n : graph().nodes) {
        if (!centred(*n)) continue;
        line << " | centred " << n->id << " label "
             << (viewer().renderer().labelAnchorOf(*n).x > kWidth / 2.0 ? "right" : "left");
        break;
    }
    return line.str() + "\n";
}

// A script of key presses and clicks: "@id" picks the node as a click does ("@+id" with Shift and
// Ctrl, "@" empty space), "^id" the tree link into the node; "#" loads the graph again.
TEST_F(KeysGlTest, EveryKeyPressAgainstItsGoldenTranscript) {
    const std::string script =
        "lllll sss CCC ggg 5 r3 r0 * 9 bBB # j KK # KK RRR eee ooo mmm s nn NN hh # uu ii OO "
        "@http://x.org/ ww @http://h/b.html kk @http://h/ vv jjj @http://h/a/pic.gif wk "
        "@http://h/a.html SS LL c z @ @http://h/a.html @+http://h/b.html @http://h/b.html "
        "@http://h/a.html ^http://h/a.html @http://h/a.html @";
    drawWhole();
    std::string transcript;
    std::istringstream tokens(script);
    for (std::string token; tokens >> token;) {
        if (token == "#") {
            open("viewer_groups.graph");
            transcript += stateAfter("load");
        } else if (token[0] == '@') {
            const bool modified = token.starts_with("@+");
            glue->onPicked(token.substr(modified ? 2 : 1), modified ? 4 : 0, modified ? 8 : 0);
            transcript += stateAfter(token);
        } else if (token[0] == '^') {
            viewer().renderer().pick(kWidth / 2 + 40, kHeight / 2);  // some picked point
            glue->onPicked(node(token.c_str() + 1).parentLink->linkId(), 0, 0);
            transcript += stateAfter(token);
        } else {
            for (char c : token) {
                ::testing::internal::CaptureStderr();
                key(c);
                const std::string printed = ::testing::internal::GetCapturedStderr();
                transcript += stateAfter(std::string(1, c) + (printed.empty() ? "" : " printed ") +
                                         printed.substr(0, printed.find('\n')));
            }
        }
    }
    expectGolden("keys_transcript.txt", transcript);
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
