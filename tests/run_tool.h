// Runs one of the built command-line tools as a separate process and collects its exit status,
// standard output and standard error (through temporary files, so large outputs cannot block).
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_files.h"

namespace orvo::test {

struct ToolRun {
    int status = -1;  // exit status; 128 + signal number when killed by a signal
    std::string out;
    std::string err;
};

using testing::readWholeFile;
using testing::TempDir;
using testing::writeWholeFile;

/// Runs ORVO_TOOLS_DIR/tool (or the program at an absolute path) with the arguments.
/// `environment` entries "NAME=VALUE" are set and entries "NAME" are removed in the child;
/// DEVIRIRO_DEBUG is removed unless given.
inline ToolRun runTool(const std::string& tool, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {}) {
    TempDir capture;
    const std::string outPath = capture / "out", errPath = capture / "err";
    const std::string program =
        tool.starts_with('/') ? tool : std::string(ORVO_TOOLS_DIR) + "/" + tool;
    std::vector<std::string> argvStore{program};
    argvStore.insert(argvStore.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int nothing = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || nothing < 0) _exit(126);
        dup2(out, 1);
        dup2(err, 2);
        dup2(nothing, 0);
        unsetenv("DEVIRIRO_DEBUG");
        for (const std::string& e : environment) {
            const size_t eq = e.find('=');
            if (eq == std::string::npos)
                unsetenv(e.c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ToolRun run;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child)
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readWholeFile(outPath);
    run.err = readWholeFile(errPath);
    return run;
}

}  // namespace orvo::test
