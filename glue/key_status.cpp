// The words for each key command's effect and the state of its check item.
#include "glue/key_status.h"

#include <algorithm>
#include <cstdio>

#include "glue/keys.h"
#include "graph/read_stats.h"
#include "viewer/viewer.h"

namespace orvo {

namespace {

bool groupHidden(Viewer& viewer, int kind, const char* name) {
    const Graph* g = viewer.graph();
    if (g == nullptr) return false;
    const auto& list = g->hiddenGroups[static_cast<size_t>(kind)];
    return std::find(list.begin(), list.end(), name) != list.end();
}

const char* shownOrHidden(bool shown) { return shown ? "shown" : "hidden"; }

std::string selectionLinks(const char* what, int on, int result, const std::string& selected) {
    if (result == 0) {
        return std::string("No node selected: click a node first (non-tree links ") + what +
               (selected.empty() ? "" : "; the selection is a link") + ")";
    }
    return std::string("Non-tree links ") + what + " " + shownOrHidden(on != 0);
}

// The node's own links (k, w): a node without any has nothing shown or hidden, and says so.
std::string nodeLinks(const char* what, bool out, int on, int result, Viewer& viewer,
                      const std::string& selected) {
    const Graph* g = viewer.graph();
    const Node* n = g != nullptr && result != 0 ? g->findNode(selected) : nullptr;
    if (n != nullptr && (out ? n->outLinks : n->inLinks).empty())
        return std::string("No non-tree links ") + what + " to show or hide";
    return selectionLinks(what, on, result, selected);
}

}  // namespace

std::string keyMessage(char key, const KeyCommands& keys, Viewer& viewer,
                       const std::string& selected) {
    const ViewerSettings& s = viewer.settings();
    const int result = keys.lastResult();
    if (key >= '0' && key <= '9') {
        return keys.alternateDigitMode() == 1
                   ? "Node generation limit " + std::to_string(s.nodeGenerationLimit)
                   : "Link generation limit " + std::to_string(s.linkGenerationLimit);
    }
    switch (key) {
        case '*':
            return "Every generation drawn (both limits 99)";
        case 'r':
            return keys.alternateDigitMode() == 1 ? "Digits now set the node generation limit"
                                                  : "Digits now set the link generation limit";
        case 'l':
            return s.labelChoice == 0   ? "Labels off"
                   : s.labelChoice == 1 ? "Labels show the last part of the id"
                                        : "Labels show the path";
        case 'L':
            return keys.toggle('L') ? "Labels to the right of their nodes"
                                    : "Labels to the left of their nodes";
        case 'b':
        case 'B': {
            // The setting is the node size above which a node gets its label, not the size of
            // the text: b labels smaller nodes too, B only larger ones.
            char size[32];
            std::snprintf(size, sizeof size, "%g", static_cast<double>(s.labelSize));
            return std::string(key == 'b' ? "Labels from a smaller node size: "
                                          : "Labels only from a larger node size: ") +
                   size;
        }
        case 'O':
            return s.labelsOverlap ? "Every label drawn, overlaps and all"
                                   : "Labels never overlap: those that would are left out";
        case 's':
            return std::string("Boundary sphere ") + shownOrHidden(s.drawSphere != 0);
        case 'K':
            return s.useWindowAspect ? "Drawn with the window's aspect ratio"
                                     : "Drawn square (window aspect off)";
        case 'C':
            return s.redCentreNode ? "Centre node drawn in red" : "Centre node in its own colour";
        case 'g':
            return s.groupColumn ? "Nodes coloured by site group" : "Nodes coloured by file type";
        case 'G':
            return keys.toggle('G') ? "Legend shown (click a group in it to hide or show it)"
                                    : "Legend hidden";
        case 'R': {
            static const char* const kNames[] = {"white", "grey", "black"};
            const int scheme = std::clamp(keys.colourScheme(), 0, 2);
            return "Colour scheme " + std::to_string(scheme) + " (" + kNames[scheme] +
                   " background)";
        }
        case 'e':
            return std::string("External nodes ") +
                   shownOrHidden(!groupHidden(viewer, 1, "external"));
        case 'o':
            return std::string("Orphan nodes ") + shownOrHidden(!groupHidden(viewer, 1, "orphan"));
        case 'm':
            return std::string("Images, text, applications, audio, video and other files ") +
                   shownOrHidden(!groupHidden(viewer, 0, "image"));
        case 'n':
            return keys.toggle('n') ? "All nodes shown" : "All nodes hidden (press n to show them)";
        case 'N':
            return keys.toggle('N')
                       ? "All links shown, non-tree links included"
                       : "All links hidden, tree links included (press N to show them)";
        case 'h':
            return std::string("Links from negative levels ") +
                   shownOrHidden(s.hideNegativeLevelLinks == 0);
        case 'i':
            return std::string("Non-tree links into the whole tree ") +
                   shownOrHidden(keys.toggle('i') != 0);
        case 'u':
            return std::string("Non-tree links out of the whole tree ") +
                   shownOrHidden(keys.toggle('u') != 0);
        case 'j':
            return selectionLinks("into the selected subtree", keys.toggle('j'), result, selected);
        case 'k':
            return nodeLinks("into the selected node", false, keys.toggle('k'), result, viewer,
                             selected);
        case 'v':
            return selectionLinks("out of the selected subtree", keys.toggle('v'), result,
                                  selected);
        case 'w':
            return nodeLinks("out of the selected node", true, keys.toggle('w'), result, viewer,
                             selected);
        case 'S':
            if (viewer.graph() == nullptr || viewer.graph()->findNode(selected) == nullptr) {
                return "No node selected: click a node first (select subtree)";
            }
            return keys.toggle('S') ? "Subtree of the selected node selected"
                                    : "Subtree of the selected node unselected";
        case 'c':
            return result ? "Flying to the top node" : "No top node to fly to";
        case 'f':
            if (!keys.lastInputRead()) return "No id on standard input";
            return result ? "Flying to " + keys.lastInputId()
                          : "No shown node has the id " + keys.lastInputId();
        default:
            return "";
    }
}

bool keyChecked(char key, const KeyCommands& keys, Viewer& viewer) {
    const ViewerSettings& s = viewer.settings();
    switch (key) {
        case 's':
            return s.drawSphere != 0;
        case 'K':
            return s.useWindowAspect != 0;
        case 'O':
            return s.labelsOverlap != 0;
        case 'L':
            return keys.toggle('L') != 0;
        case 'C':
            return s.redCentreNode != 0;
        case 'g':
            return s.groupColumn != 0;
        case 'r':
            return keys.alternateDigitMode() == 1;
        case 'G':
            return keys.toggle('G') != 0;
        case 'e':
            return groupHidden(viewer, 1, "external");
        case 'o':
            return groupHidden(viewer, 1, "orphan");
        case 'm':
            return groupHidden(viewer, 0, "image");
        case 'n':
        case 'N':
            return keys.toggle(key) == 0;  // the toggle holds the last "shown" value passed
        case 'h':
            return s.hideNegativeLevelLinks != 0;
        case 'i':
        case 'u':
        case 'j':
        case 'k':
        case 'v':
        case 'w':
        case 'S':
            return keys.toggle(key) != 0;
        default:
            return false;
    }
}

}  // namespace orvo
