// Ctrl+C (SIGINT) and SIGTERM as a request to stop: long work polls the flag, ends early with
// what it has, and the program then exits with 128 + the signal's number.
#pragma once

#include <atomic>

namespace orvo {

/// Installs the handlers (once) and returns the flag they set.
const std::atomic<bool>* installInterruptFlag();
/// The signal that set the flag, 0 when none did.
int interruptSignal();

}  // namespace orvo
