// Every keyboard command against the settings, graph flags and pixels it must change, with the
// first-press toggle rules and the "l", "R" and "K" sequences, and "f" reading ids from its input,
// on an offscreen Mesa context.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>

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
// switches, limits and colours, where the travel history stands (of how many travels, whether it
// can go back or forward), the View menu's checked keys, the
// pixels in a corner and at the centre (each channel in eighths of its range, so within 16 of the
// value), the frames drawn, the hidden nodes, the shown and enabled links, the selection, the node
// at the centre and its label's side, what was printed.
std::string KeysGlTest::stateAfter(const std::string& pressed) {
    const ViewerSettings& s = settings();
    std::ostringstream line;
    line << pressed << " | last " << glue->lastSelectedId() << " | " << glue->keyStatus() << " | "
         << glue->graphStatus() << " | l" << s.labelChoice << " s" << s.drawSphere << " C"
         << s.redCentreNode << " g" << s.groupColumn << " h" << s.hideNegativeLevelLinks << " K"
         << s.useWindowAspect << " limits " << s.nodeGenerationLimit << "/" << s.linkGenerationLimit
         << " label " << viewer().labelSize() << " colours";
    for (const Colour& colour : {s.backgroundColor, s.sphereColor, s.labelColor})
        line << " " << colour[0] << "," << colour[1] << "," << colour[2];
    if (!glue->graphLoaded()) return line.str() + "\n";
    const auto eighths = [&](int x, int y) {
        std::string text;
        for (int c : pixel(DrawBuffer::Front, x, y)) text += std::to_string((c + 16) / 32) + ".";
        return text;
    };
    const TravelHistory& history = glue->history();
    line << " | at " << *history.current() << " of " << history.size()
         << (history.canGoBack() ? " back" : "") << (history.canGoForward() ? " forward" : "")
         << " | checked ";
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
// Ctrl, "@" empty space), "%id" is a real click where the node is drawn ("%" far outside the ball),
// "^id" the tree link into the node; ">id" travels to the node as a search hit does (">back" and
// ">forward" through the history of travels); "#" loads the graph again. "f" reads the id to travel
// to from its input, one whole line at a time, never waiting for one: "<text" feeds the input ("|"
// a line end, "~" a carriage return), "<." closes it.
TEST_F(KeysGlTest, EveryKeyPressAgainstItsGoldenTranscript) {
    const std::string script =
        "lllll sss CCC ggg GG 5 r3 r0 * 9 bBB # >http://h/a.html >http://h/a.html >http://h/b.html "
        ">http://nowhere/ >back >back >back >forward >http://h/a/deep.html @http://h/b.html c "
        ">back @ "
        "# j KK # KK RRR eee ooo mmm s nn NN hh # uu ii OO "
        "@http://x.org/ ww @http://h/b.html kk @http://h/ vv jjj @http://h/a/pic.gif wk "
        "@http://h/a.html SS LL c z @ @http://h/a.html @+http://h/b.html @http://h/b.html "
        "@http://h/a.html ^http://h/a.html @http://h/a.html @ % c C %http://h/ % "
        "f <http://h/a/de f <ep.html|http://no/such| f f <" +
        std::string(1500, 'x') + "|http://h/b/doc.txt~| f f <http://h/a/deep.html <. f f";
    drawWhole();
    std::string transcript;
    std::istringstream tokens(script);
    for (std::string token; tokens >> token;) {
        const std::string shown = token.size() > 40 ? token.substr(0, 40) + "..." : token;
        if (token == "#") {
            open("viewer_groups.graph");
            transcript += stateAfter("load");
        } else if (token[0] == '@') {
            const bool modified = token.starts_with("@+");
            glue->onPicked(token.substr(modified ? 2 : 1), modified ? 4 : 0, modified ? 8 : 0);
            transcript += stateAfter(token);
        } else if (token[0] == '%') {
            const auto [x, y] =
                token == "%" ? std::pair{2, 2} : whereDrawn(node(token.c_str() + 1));
            glue->mouseButtonViewer(0, 0, x, y, 0, 0);
            glue->mouseButtonViewer(0, 1, x, y, 0, 0);
            transcript += stateAfter(token);
        } else if (token[0] == '>') {
            const std::string to = token.substr(1);
            const int result = to == "back"      ? glue->goBack()
                               : to == "forward" ? glue->goForward()
                                                 : glue->travelTo(to);
            transcript += stateAfter(token + " -> " + std::to_string(result));
        } else if (token[0] == '^') {
            viewer().renderer().pick(kWidth / 2 + 40, kHeight / 2);  // some picked point
            glue->onPicked(node(token.c_str() + 1).parentLink->linkId(), 0, 0);
            transcript += stateAfter(token);
        } else if (token == "<.") {
            ::close(std::exchange(input[1], -1));
        } else if (token[0] == '<') {
            std::string text = token.substr(1);
            std::replace(text.begin(), text.end(), '|', '\n');
            std::replace(text.begin(), text.end(), '~', '\r');
            feed(text);
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

// A descriptor that is not open: no id to travel to (the end of input is in the transcript).
TEST_F(KeysGlTest, FindHasNoIdFromAClosedDescriptor) {
    open("viewer_groups.graph");
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    ::close(fd);
    glue->keys().setInputFd(fd);
    key('f');
    EXPECT_EQ(glue->keyStatus(), "No id on standard input");
}

}  // namespace
}  // namespace orvo
