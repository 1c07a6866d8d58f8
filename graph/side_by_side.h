// Two pieces of work at once, one on a helper thread, for the passes over a whole graph that the
// measures split in two.
#pragma once

#include <system_error>
#include <thread>

namespace orvo {

/// Runs `first` on this thread and `second` on a helper thread when `twoThreads` is set; both on
/// this thread, one after the other, otherwise or when no thread can be started.
template <typename First, typename Second>
void runSideBySide(bool twoThreads, First&& first, Second&& second) {
    std::thread helper;
    if (twoThreads) {
        try {
            helper = std::thread([&second] { second(); });
        } catch (const std::system_error&) {
            // No thread to spare: this thread does both.
        }
    }
    first();
    if (helper.joinable())
        helper.join();
    else
        second();
}

}  // namespace orvo
