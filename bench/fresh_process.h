// Runs a measurement in a child process of its own and hands its figures back to the parent.
// A load in a process that has loaded before reuses the memory the kernel already handed out (no
// pages to clear) and finds its caches warm, which would flatter whichever side ran more often;
// every measurement starts clean this way.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <type_traits>

namespace orvo::bench {

/// `measure(Sample&)` fills the sample in the child; a Sample{} comes back when the child could
/// not be started, failed or sent nothing.
template <typename Sample, typename Measure>
Sample measuredInFreshProcess(Measure measure) {
    static_assert(std::is_trivially_copyable_v<Sample>, "the sample crosses a pipe as bytes");
    int channel[2];
    if (::pipe(channel) != 0) return {};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return {};
    if (child == 0) {
        ::close(channel[0]);
        Sample s;
        measure(s);
        const bool sent = ::write(channel[1], &s, sizeof s) == ssize_t(sizeof s);
        ::_exit(sent ? 0 : 1);  // no teardown of what was loaded: the parent has its figures
    }
    ::close(channel[1]);
    Sample s;
    const bool got = ::read(channel[0], &s, sizeof s) == ssize_t(sizeof s);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : Sample{};
}

}  // namespace orvo::bench
