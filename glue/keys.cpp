// The keyboard commands: one switch over the character, each case calling viewer setters or
// graph operations with the key's own toggle or counter.
#include "glue/keys.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "glue/window_settings.h"
#include "viewer/viewer.h"

namespace orvo {

namespace {

// The top of the tree for the link commands when no node carries this id.
constexpr const char* kTopNodeId = "QX_TOPNODE";

// The groups that "m" hides and shows, in this order.
constexpr std::array<const char*, 6> kMediaGroups{"image", "text",  "application",
                                                  "audio", "video", "other"};

}  // namespace

KeyCommands::KeyCommands() {
    for (char key : {'s', 'e', 'o', 'm', 'N', 'n'}) toggles_[static_cast<uint8_t>(key)] = 1;
}

int KeyCommands::flip(char key) {
    uint8_t& t = toggles_[static_cast<uint8_t>(key)];
    t = (t == 0) ? 1 : 0;
    return t;
}

int KeyCommands::keepToggleUnlessDone(char key, int result) {
    // A key that found nothing to act on (no node selected) leaves its toggle as it was, so that
    // its next press does what the menu's tick promises.
    if (result == 0) flip(key);
    return result;
}

void KeyCommands::apply(Viewer& viewer, int character, const std::string& lastSelectedId) {
    const char key = static_cast<char>(character & 0xFF);
    if (key >= '0' && key <= '9') {
        const int digit = key - '0';
        if (alternateDigitMode_ == 1) {
            viewer.setNodeGenerationLimit(digit);
        } else {
            viewer.setLinkGenerationLimit(digit);
        }
        return;
    }
    switch (key) {
        case '*':
            viewer.setNodeGenerationLimit(99);
            viewer.setLinkGenerationLimit(99);
            break;
        case 'r':
            alternateDigitMode_ = (alternateDigitMode_ == 0) ? 1 : 0;
            break;
        case 'l':
            labelChoiceCounter_ = (labelChoiceCounter_ + 1) % 3;
            viewer.setLabelChoice(labelChoiceCounter_);
            break;
        case 'L':
            viewer.setLabelSide(flip('L'));
            break;
        case 'b':
        case 'B': {
            const float size = viewer.labelSize();
            std::fprintf(stderr, "labsize %f\n", size);
            viewer.setLabelSize(key == 'b' ? size - 1.0f : size + 1.0f);
            break;
        }
        case 'O':
            viewer.setLabelsOverlap(flip('O'));
            break;
        case 's':
            viewer.setDrawSphere(flip('s'));
            break;
        case 'K':
            viewer.setUseWindowAspect(flip('K'));
            break;
        case 'C':
            viewer.setRedCentreNode(flip('C'));
            break;
        case 'g':
            viewer.setGroupColumn(flip('g'));
            break;
        case 'G':
            flip('G');  // the window shows or hides its legend panel as the toggle says
            break;
        case 'R': {
            colourScheme_ = (colourScheme_ + 1) % static_cast<int>(kColourSchemes.size());
            const ColourScheme& scheme = kColourSchemes[static_cast<size_t>(colourScheme_)];
            viewer.setBackgroundColor(scheme.background[0], scheme.background[1],
                                      scheme.background[2]);
            viewer.setSphereColor(scheme.sphere[0], scheme.sphere[1], scheme.sphere[2]);
            viewer.setLabelColor(scheme.label[0], scheme.label[1], scheme.label[2]);
            break;
        }
        case 'e':
            viewer.setGroupHidden(1, "external", flip('e'));
            break;
        case 'o':
            viewer.setGroupHidden(1, "orphan", flip('o'));
            break;
        case 'm': {
            const int hide = flip('m');
            for (const char* group : kMediaGroups) viewer.setGroupHidden(0, group, hide);
            break;
        }
        case 'n':
            viewer.setAllNodesShown(flip('n'));
            break;
        case 'N':
            viewer.setAllLinksShown(flip('N'));
            break;
        case 'h':
            viewer.setNegativeLevelLinksHidden(flip('h'));
            break;
        case 'i':
            lastResult_ =
                keepToggleUnlessDone('i', viewer.setInLinksShown(kTopNodeId, flip('i'), 1));
            break;
        case 'j':
            lastResult_ =
                keepToggleUnlessDone('j', viewer.setInLinksShown(lastSelectedId, flip('j'), 1));
            break;
        case 'k':
            lastResult_ =
                keepToggleUnlessDone('k', viewer.setInLinksShown(lastSelectedId, flip('k'), 0));
            break;
        case 'u':
            lastResult_ =
                keepToggleUnlessDone('u', viewer.setOutLinksShown(kTopNodeId, flip('u'), 1));
            break;
        case 'v':
            lastResult_ =
                keepToggleUnlessDone('v', viewer.setOutLinksShown(lastSelectedId, flip('v'), 1));
            break;
        case 'w':
            lastResult_ =
                keepToggleUnlessDone('w', viewer.setOutLinksShown(lastSelectedId, flip('w'), 0));
            break;
        case 'S':
            viewer.selectSubtree(lastSelectedId, flip('S'));
            break;
        case 'c':
            lastResult_ = viewer.gotoTopNode(0);
            break;
        case 'f': {
            std::string id;
            lastInputRead_ = readInputLine(id);
            lastResult_ = lastInputRead_ ? viewer.gotoNode(id, 0) : 0;
            lastInputId_ = std::move(id);
            break;
        }
        default:
            break;
    }
}

// Reads byte by byte, asking poll() before each read, so the window never waits for input and
// no more than one line is taken. A line's start that arrives without its end is kept for the
// next "f".
bool KeyCommands::readInputLine(std::string& line) {
    if (inputEnded_) return false;
    for (;;) {
        pollfd p{inputFd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;  // nothing to read now
        if (p.revents & POLLNVAL) {    // closed descriptor
            inputEnded_ = true;
            return false;
        }
        char c = 0;
        const ssize_t got = ::read(inputFd_, &c, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {  // end of input (or an error): the rest is the last line
            inputEnded_ = true;
            if (pendingInput_.empty()) return false;
            line.swap(pendingInput_);
            pendingInput_.clear();
            return true;
        }
        if (c == '\n') {
            if (!pendingInput_.empty() && pendingInput_.back() == '\r') pendingInput_.pop_back();
            line.swap(pendingInput_);
            pendingInput_.clear();
            return true;
        }
        pendingInput_.push_back(c);
    }
}

}  // namespace orvo
