// One line of progress on a terminal, written over in place at most a few times a second.
#pragma once

#include <chrono>
#include <cstddef>
#include <iostream>
#include <string>

namespace orvo {

class ProgressLine {
public:
    /// A line that shows nothing unless enabled (standard error is a terminal, not quiet).
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}

    /// Whether a new text may be shown now: enabled, and a quarter of a second after the last
    /// one. Asked before the text is made, as progress comes far more often than that.
    bool due() {
        if (!enabled_) return false;
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(250)) return false;
        last_ = now;
        return true;
    }
    /// Writes the text over the last one, padded to cover it whole (nothing when not enabled).
    void show(std::string text) {
        if (!enabled_) return;
        if (text.size() < width_) text.append(width_ - text.size(), ' ');
        width_ = text.size();
        std::cerr << '\r' << text << std::flush;
        shown_ = true;
    }
    /// Takes the line away, leaving the cursor where it started.
    void clear() {
        if (!shown_) return;
        std::cerr << '\r' << std::string(width_, ' ') << '\r' << std::flush;
        shown_ = false;
    }

private:
    bool enabled_;
    bool shown_ = false;
    std::size_t width_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace orvo
