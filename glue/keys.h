// The one-character keyboard commands of the view: options, limits, hidden groups, non-tree
// links, colour schemes, label modes and jumps to nodes. Each key keeps its own toggle or
// counter for the program's lifetime.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orvo {

class Viewer;

class KeyCommands {
public:
    KeyCommands();

    /// Runs the command of the character (its low 8 bits, case-sensitive); characters without
    /// a command do nothing. lastSelectedId is the id of the last click.
    void apply(Viewer& viewer, int character, const std::string& lastSelectedId);

    /// Where "f" reads its line (standard input by default).
    void setInputFd(int fd) { inputFd_ = fd; }

    /// The toggle of a key (0 or 1), as it was after the key's last press.
    int toggle(char key) const { return toggles_[static_cast<uint8_t>(key)]; }
    /// Sets a toggle as the key would leave it (the window turns the legend on, G, when a graph
    /// needs one).
    void setToggle(char key, int on) { toggles_[static_cast<uint8_t>(key)] = on ? 1 : 0; }
    int labelChoiceCounter() const { return labelChoiceCounter_; }
    int colourScheme() const { return colourScheme_; }
    int alternateDigitMode() const { return alternateDigitMode_; }
    /// What the viewer answered to the last command that answers (the link commands, "c" and
    /// "f"): 1 when a node was found or travelled to, 0 otherwise.
    int lastResult() const { return lastResult_; }
    /// Whether the last "f" read a line, and the id it read.
    bool lastInputRead() const { return lastInputRead_; }
    const std::string& lastInputId() const { return lastInputId_; }

private:
    /// Flips the key's toggle (0 becomes 1, anything else 0) and returns the new value.
    int flip(char key);
    /// Flips the toggle back when the key's command did nothing (result 0); returns result.
    int keepToggleUnlessDone(char key, int result);
    /// One line from the input, without its line end, when a whole line (or the rest before
    /// the end of the input) can be had without waiting. Never blocks.
    bool readInputLine(std::string& line);

    std::array<uint8_t, 256> toggles_{};
    int labelChoiceCounter_ = 1;
    int colourScheme_ = 0;
    int alternateDigitMode_ = 0;
    int lastResult_ = 0;
    bool lastInputRead_ = false;
    std::string lastInputId_;
    int inputFd_ = 0;
    bool inputEnded_ = false;
    std::string pendingInput_;  // the start of a line whose end has not arrived yet
};

}  // namespace orvo
