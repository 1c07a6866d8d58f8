// Starts tests/crawl/site_server.py on 127.0.0.1 with a free port and stops it when destroyed:
// the server ends when its standard input closes, and is killed if it does not.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_tool.h"
#include "tests/test_time.h"

namespace orvo::test {

/// Seconds a fetch may take: ample for every answer of the server however busy the machine, too
/// few for the slow page of --slow.
inline double answerTimeout() { return 6 * orvo::testing::timeScale(); }

class SiteServer {
public:
    /// `arguments`: further options of the server (--static DIR, --pages N, --slow S, --tls DIR).
    explicit SiteServer(std::vector<std::string> arguments = {}) {
        tls_ = std::find(arguments.begin(), arguments.end(), "--tls") != arguments.end();
        arguments.insert(arguments.begin(),
                         {"python3", ORVO_SITE_SERVER, "--log", logFolder_.file("log")});
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            execTool("/usr/bin/env", arguments, {});
        }
        close(toChild[0]);
        close(fromChild[1]);
        input_ = toChild[1];
        std::string line;  // "PORT n"
        for (char c = 0; read(fromChild[0], &c, 1) == 1 && c != '\n';) line += c;
        close(fromChild[0]);
        if (line.starts_with("PORT ")) port_ = std::stoi(line.substr(5));
    }
    ~SiteServer() {
        if (input_ >= 0) close(input_);
        for (int i = 0; pid_ > 0 && i < 50 && waitpid(pid_, nullptr, WNOHANG) != pid_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) kill(pid_, SIGKILL);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + path;
    }
    /// The requests served so far, "METHOD PATH" each.
    std::vector<std::string> requests() const {
        std::vector<std::string> lines;
        for (const std::string& line : log()) lines.push_back(line.substr(0, line.rfind(' ')));
        return lines;
    }
    /// The client ports the requests came from: one per connection.
    std::set<std::string> connections() const {
        std::set<std::string> ports;
        for (const std::string& line : log()) ports.insert(line.substr(line.rfind(' ') + 1));
        return ports;
    }

private:
    std::vector<std::string> log() const {
        std::ifstream in(logFolder_.file("log"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    TempDir logFolder_;  // the server's log of requests
    pid_t pid_ = -1;
    int input_ = -1;
    int port_ = 0;
    bool tls_ = false;
};

}  // namespace orvo::test
