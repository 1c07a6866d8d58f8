// The shortcut table and the View menu's key items.
#include "glue/key_table.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvo {

namespace {

constexpr std::array<Shortcut, 6> kMouse{{
    {"left click on a node", "select it and fly to it (again: unselect)"},
    {"left click on a link", "fly to the clicked point"},
    {"left drag", "move through the space"},
    {"right drag", "turn the view about its centre"},
    {"right click on a node", "node menu: copy id, open in browser, select subtree, centre"},
    {"pointer over a node", "highlight it; its id and groups show in the status bar"},
}};

constexpr std::array<Shortcut, 30> kKeys{{
    {"0 .. 9", "link generation limit (node limit after r)"},
    {"*", "show every generation (limits 99)"},
    {"r", "switch the digits between link and node limit"},
    {"l", "labels: short, full path, none"},
    {"L", "labels to the right or to the left of their node"},
    {"b / B", "smaller / larger labels"},
    {"O", "labels: never overlapping, or every one (overlaps and all)"},
    {"P", "labels competing for room: larger node or higher link score"},
    {"s", "boundary sphere on / off"},
    {"K", "window aspect on / off"},
    {"C", "centre node in red on / off"},
    {"g", "colour by file type or by site group"},
    {"M", "colour by groups, depth, links in / out, subtree, link score"},
    {"G", "legend of the colours on / off (click a group: hide / show it)"},
    {"R", "next colour scheme (white, grey, black)"},
    {"e", "hide / show external nodes"},
    {"o", "hide / show orphan nodes"},
    {"m", "hide / show images, text, applications, audio, video, other"},
    {"n", "hide / show all nodes"},
    {"N", "hide / show all links"},
    {"h", "hide / show links from negative levels"},
    {"i", "non-tree links into the whole tree"},
    {"u", "non-tree links out of the whole tree"},
    {"j", "non-tree links into the selected subtree"},
    {"v", "non-tree links out of the selected subtree"},
    {"k", "non-tree links into the selected node"},
    {"w", "non-tree links out of the selected node"},
    {"S", "select / unselect the selected node's subtree"},
    {"c", "fly to the top node"},
    {"f", "fly to the node whose id is the next line of standard input"},
}};

constexpr std::array<Shortcut, 7> kWindow{{
    {"Ctrl+F", "find a node by part of its id or label"},
    {"Ctrl+L", "links panel: the selected node's links in and out"},
    {"Alt+Left / Alt+Right", "back / forward through the nodes travelled to"},
    {"Ctrl+O", "open a graph file"},
    {"Ctrl+Shift+W", "crawl a web site from its address and show it"},
    {"drop a file", "open it"},
    {"F1", "this list"},
}};

// What the site colours mean; any other group (an imported column, sections) takes a colour of
// its own from the palette, which only the legend can name.
constexpr std::array<Shortcut, 12> kColours{{
    {"cyan", "pages; site groups main and ok"},
    {"magenta", "images; orphan nodes"},
    {"orange", "text, applications; crawl errors"},
    {"pink / dark green", "audio and video / other files"},
    {"white", "external nodes"},
    {"red", "missing pages; removed (Compare With)"},
    {"yellow", "redirects; changed (Compare With)"},
    {"green", "added (Compare With)"},
    {"grey", "no colour of its own"},
    {"grey-blue", "unchanged (Compare With)"},
    {"other colours", "imported groups (a column, sections): see the legend (G)"},
    {"red to blue", "tree links, from the parent's end to the child's"},
}};

constexpr std::array<ShortcutSection, 4> kSections{{
    {"Mouse", kMouse},
    {"Keys (in the view)", kKeys},
    {"Window", kWindow},
    {"Colours (g switches file type and site group)", kColours},
}};

// Groups: 0 display, 1 colours, 2 hidden nodes and links, 3 non-tree links, 4 travel.
constexpr std::array<KeyMenuEntry, 30> kKeyMenu{{
    {'s', "Boundary Sphere", "Show or hide the boundary sphere", KeyMenuKind::Check, 0},
    {'K', "Window Aspect", "Draw with the window's aspect ratio or a square one",
     KeyMenuKind::Check, 0},
    {'l', "Next Label Text", "Labels: short, full path, none", KeyMenuKind::Command, 0},
    {'L', "Labels on the Right", "Put labels to the right or to the left of their node",
     KeyMenuKind::Check, 0},
    {'b', "Smaller Labels", "Make the labels smaller", KeyMenuKind::Command, 0},
    {'B', "Larger Labels", "Make the labels larger", KeyMenuKind::Command, 0},
    {'O', "Overlapping Labels",
     "Draw every label of a large enough node, overlaps and all, instead of leaving out those "
     "that would overlap",
     KeyMenuKind::Check, 0},
    {'P', "Labels by Link Score",
     "Where labels compete for room, the node of higher link score wins instead of the larger",
     KeyMenuKind::Check, 0},
    {'C', "Red Centre Node", "Draw the node at the centre in red", KeyMenuKind::Check, 1},
    {'g', "Colour by Site Group", "Colour the nodes by site group instead of file type",
     KeyMenuKind::Check, 1},
    {'M', "Next Colouring",
     "Colour by groups, then by depth, links in, links out, subtree size and link score",
     KeyMenuKind::Command, 1},
    {'G', "Legend", "Show or hide the legend: what each colour means, with node counts",
     KeyMenuKind::Check, 1},
    {'R', "Next Colour Scheme", "White, grey or black background", KeyMenuKind::Command, 1},
    {'e', "Hide External Nodes", "Hide or show the nodes of other sites", KeyMenuKind::Check, 2},
    {'o', "Hide Orphan Nodes", "Hide or show the nodes no page links to", KeyMenuKind::Check, 2},
    {'m', "Hide Non-Page Nodes", "Hide or show images, text, applications, audio, video, other",
     KeyMenuKind::Check, 2},
    {'n', "Hide All Nodes", "Hide or show every node", KeyMenuKind::Check, 2},
    {'N', "Hide All Links", "Hide or show every link, tree links included", KeyMenuKind::Check, 2},
    {'h', "Hide Links from Negative Levels", "Hide or show the links from negative levels",
     KeyMenuKind::Check, 2},
    {'i', "Links into the Whole Tree", "Show or hide the non-tree links into the whole tree",
     KeyMenuKind::Check, 3},
    {'u', "Links out of the Whole Tree", "Show or hide the non-tree links out of the whole tree",
     KeyMenuKind::Check, 3},
    {'j', "Links into the Selected Subtree",
     "Show or hide the non-tree links into the selected subtree", KeyMenuKind::Check, 3},
    {'v', "Links out of the Selected Subtree",
     "Show or hide the non-tree links out of the selected subtree", KeyMenuKind::Check, 3},
    {'k', "Links into the Selected Node", "Show or hide the non-tree links into the selected node",
     KeyMenuKind::Check, 3},
    {'w', "Links out of the Selected Node",
     "Show or hide the non-tree links out of the selected node", KeyMenuKind::Check, 3},
    {'S', "Select Subtree", "Select or unselect the selected node's subtree", KeyMenuKind::Check,
     3},
    {'c', "Fly to the Top Node", "Bring the top node to the centre", KeyMenuKind::Command, 4},
    {'f', "Fly to the Id on Standard Input",
     "Bring the node whose id is the next line of standard input to the centre",
     KeyMenuKind::Command, 4},
    {'*', "Show Every Generation", "Set both generation limits to 99", KeyMenuKind::Command, 5},
    {'r', "Digits Set the Node Limit",
     "Switch the digit keys between the link and the node generation limit", KeyMenuKind::Check, 5},
}};

}  // namespace

std::span<const ShortcutSection> shortcutSections() { return kSections; }

std::string shortcutsText() {
    size_t width = 0;
    for (const ShortcutSection& s : kSections) {
        for (const Shortcut& e : s.entries) width = std::max(width, std::strlen(e.keys));
    }
    std::string text;
    for (const ShortcutSection& s : kSections) {
        if (!text.empty()) text += "\n";
        text += s.title;
        text += "\n";
        for (const Shortcut& e : s.entries) {
            std::string keys = e.keys;
            keys.resize(width + 2, ' ');
            text += "  " + keys + e.action + "\n";
        }
    }
    return text;
}

std::span<const KeyMenuEntry> keyMenuEntries() { return kKeyMenu; }

std::string keyMenuLabel(const KeyMenuEntry& entry) {
    return std::string(entry.label) + " (" + entry.key + ")";
}

}  // namespace orvo
