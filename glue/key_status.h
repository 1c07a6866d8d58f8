// What a key command just did, in words for the status bar, and the state a View menu check
// item shows for a key.
#pragma once

#include <string>

namespace orvo {

class KeyCommands;
class Viewer;

/// The status message after the key's command ran ("Non-tree links into the selected subtree
/// shown"); empty for a character without a command. lastSelectedId is the id the commands
/// that work on the selection used.
std::string keyMessage(char key, const KeyCommands& keys, Viewer& viewer,
                       const std::string& lastSelectedId);

/// Whether the check item of the key is checked: the switch is on, the group hidden, the
/// links shown.
bool keyChecked(char key, const KeyCommands& keys, Viewer& viewer);

}  // namespace orvo
