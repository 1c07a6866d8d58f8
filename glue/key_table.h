// The one table of what every key and mouse action does: the shortcut list of Help > Keyboard
// Shortcuts, the About box and the manual (docs/viewer.md) are made from it, and the View menu's
// items (each showing its key) from the key-command part of it.
#pragma once

#include <span>
#include <string>

namespace orvo {

struct Shortcut {
    const char* keys;    // as a user presses them: "s", "b / B", "left drag", "Ctrl+F"
    const char* action;  // what happens
};

struct ShortcutSection {
    const char* title;
    std::span<const Shortcut> entries;
};

/// Mouse, keys in the view, the window's own shortcuts and what the colours mean, in this
/// order.
std::span<const ShortcutSection> shortcutSections();

/// The sections as aligned plain text (one line per shortcut, a blank line between sections).
std::string shortcutsText();

/// How a key command sits in the View menu.
enum class KeyMenuKind {
    Command,  // an item that runs the key's command
    Check,    // a check item showing the state the key switches
};

struct KeyMenuEntry {
    char key;
    const char* label;  // the menu text without the key ("Boundary &Sphere")
    const char* help;   // status-bar text while the item is under the pointer
    KeyMenuKind kind;
    int group;  // items of one group sit together between separators
};

/// Every key command with a menu item of its own (the digits sit in the generation-limit
/// submenu instead), in menu order.
std::span<const KeyMenuEntry> keyMenuEntries();

/// The menu text with its key: "Boundary &Sphere (s)".
std::string keyMenuLabel(const KeyMenuEntry& entry);

}  // namespace orvo
