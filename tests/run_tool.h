// Runs the built command-line tools as separate processes (to their end, in the background or on
// a terminal) and compares what they print with golden files.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_files.h"

#ifdef ORVO_TEST_DATA
#include "tests/glue/golden.h"
#endif

namespace orvo::test {

struct ToolRun {
    int status = -1;  // exit status; 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

using testing::readWholeFile;
using testing::replaceAll;
using testing::TempDir;
using testing::writeWholeFile;

/// In a child process: runs ORVO_TOOLS_DIR/tool (or the program at an absolute path). Entries
/// "NAME=VALUE" of `environment` are set and entries "NAME" removed; DEVIRIRO_DEBUG is removed
/// unless given.
[[noreturn]] inline void execTool(const std::string& tool,
                                  const std::vector<std::string>& arguments,
                                  const std::vector<std::string>& environment) {
    std::vector<std::string> store{tool.starts_with('/') ? tool : ORVO_TOOLS_DIR "/" + tool};
    store.insert(store.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    unsetenv("DEVIRIRO_DEBUG");
    // A tool that draws loads Mesa, whose allocations outlive the leak check and whose threads
    // have crashed the leak checker's tracer at exit: it is checked for memory errors only, as
    // the suites that draw are.
    const std::string name = store.front().substr(store.front().find_last_of('/') + 1);
    if (const char* asan = std::getenv("ASAN_OPTIONS");
        asan != nullptr && (name == "orvo-snapshot" || name == "orvo"))
        setenv("ASAN_OPTIONS", (std::string(asan) + ":detect_leaks=0").c_str(), 1);
    for (const std::string& e : environment) {
        const size_t eq = e.find('=');
        eq == std::string::npos ? unsetenv(e.c_str())
                                : setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
    }
    execv(argv[0], argv.data());
    _exit(127);
}

/// Starts the tool with its output going to files of `capture` (so large outputs cannot block)
/// and nothing on its standard input; finishTool waits for it.
inline pid_t startTool(const TempDir& capture, const std::string& tool,
                       const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {}) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child != 0) return child;
    const int out = open(capture.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(capture.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int nothing = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || nothing < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        dup2(nothing, 0) < 0)
        _exit(126);
    execTool(tool, arguments, environment);
}

/// Whether the running process has its own handler for `signal` (its SigCgt mask in /proc): a
/// signal sent before the handler is installed ends the process without its own last words.
inline bool catchesSignal(pid_t process, int signal) {
    const std::string status = readWholeFile("/proc/" + std::to_string(process) + "/status");
    const size_t at = status.find("SigCgt:\t");
    if (at == std::string::npos) return false;
    const unsigned long long caught = std::strtoull(status.c_str() + at + 8, nullptr, 16);
    return (caught >> (signal - 1)) & 1u;
}

inline ToolRun finishTool(const TempDir& capture, pid_t child) {
    ToolRun run;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child)
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readWholeFile(capture.file("out"));
    run.err = readWholeFile(capture.file("err"));
    return run;
}

inline ToolRun runTool(const std::string& tool, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {}) {
    TempDir capture;
    return finishTool(capture, startTool(capture, tool, arguments, environment));
}

/// Runs the tool on a pseudo-terminal, as a person at a terminal would: `out` is what it printed
/// there (standard output and error both).
inline ToolRun runOnTerminal(const std::string& tool, const std::vector<std::string>& arguments) {
    int terminal = -1;
    std::fflush(nullptr);
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) execTool(tool, arguments, {});
    ToolRun run;
    if (child < 0) return run;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        run.out.append(buffer, got);
    close(terminal);
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

#ifdef ORVO_TEST_DATA
/// Compares `actual` with tests/data/tools/name; ORVO_WRITE_GOLDEN set writes the file and fails.
inline ::testing::AssertionResult matchesGolden(const std::string& actual,
                                                const std::string& name) {
    return matchesGoldenFile("tools/" + name, actual);
}

/// Runs the command lines ("$ TOOL ARGUMENT...") of the transcript tests/data/tools/name and
/// compares with it each command line, its standard output (masked by `mask`) and error (one on
/// a terminal) and its exit status. TMP stands for `dir` and SRC for the source tree.
inline ::testing::AssertionResult matchesTranscript(
    const std::string& name, const TempDir& dir,
    std::string (*mask)(const std::string&) = [](const std::string& s) { return s; },
    bool onTerminal = false) {
    std::istringstream golden(readWholeFile(ORVO_TEST_DATA "/tools/" + name));
    std::string text;
    for (std::string line; std::getline(golden, line);) {
        if (!line.starts_with("$ ")) continue;
        std::istringstream words(
            replaceAll(replaceAll(line, "TMP", dir.path()), "SRC", ORVO_SOURCE_DIR));
        std::string tool;
        std::vector<std::string> arguments;
        words >> tool >> tool;
        for (std::string word; words >> word;) arguments.push_back(word);
        const ToolRun run = onTerminal ? runOnTerminal(tool, arguments) : runTool(tool, arguments);
        text += line + "\n" + (run.out.empty() ? "" : "[stdout]\n" + mask(run.out)) +
                (run.err.empty() ? "" : "[stderr]\n" + run.err) + "[exit " +
                std::to_string(run.status) + "]\n";
    }
    if (text.empty()) return ::testing::AssertionFailure() << "no command line in " << name;
    return matchesGolden(replaceAll(replaceAll(text, dir.path(), "TMP"), ORVO_SOURCE_DIR, "SRC"),
                         name);
}
#endif

}  // namespace orvo::test
