#include "tools/interrupt.h"

#include <signal.h>

namespace orvo {

namespace {

std::atomic<bool> gInterrupted{false};
volatile sig_atomic_t gSignal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void onInterrupt(int signal) {
    gSignal = signal;
    gInterrupted.store(true, std::memory_order_relaxed);
}

}  // namespace

const std::atomic<bool>* installInterruptFlag() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return &gInterrupted;
}

int interruptSignal() { return gSignal; }

}  // namespace orvo
