// Crawling a generated 1 000-page site served from 127.0.0.1 (tests/crawl/site_server.py) with no
// delay and 4 connections. Counters: pages per second, and the share of the crawl's time spent
// waiting on the network with nothing else to do (the rest is parsing, resolving and the walk).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "crawl/crawler.h"

namespace {

// The test site server on a free port for as long as the benchmark runs.
class Server {
public:
    explicit Server(int pages) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        const std::string count = std::to_string(pages);
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            execlp("python3", "python3", ORVO_SITE_SERVER, "--pages", count.c_str(), nullptr);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        input_ = toChild[1];
        std::string line;
        char c = 0;
        while (read(fromChild[0], &c, 1) == 1 && c != '\n') line += c;
        close(fromChild[0]);
        if (line.rfind("PORT ", 0) == 0) port_ = std::stoi(line.substr(5));
    }
    ~Server() {
        if (input_ >= 0) close(input_);  // the server ends when its input closes
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int port_ = 0;
};

void BM_CrawlGeneratedSite(benchmark::State& state) {
    const int pages = static_cast<int>(state.range(0));
    Server server(pages);
    if (server.port() == 0) {
        state.SkipWithError("the site server did not start");
        return;
    }
    orvo::crawl::CrawlOptions options;
    options.startUrl = "http://127.0.0.1:" + std::to_string(server.port()) + "/gen/0.html";
    options.delaySeconds = 0;
    options.connections = 4;
    double crawled = 0, seconds = 0, waiting = 0;
    for (auto _ : state) {
        const orvo::crawl::CrawlResult result = orvo::crawl::crawlSite(options, {});
        if (!result.ok || result.nodes.size() != static_cast<std::size_t>(pages)) {
            state.SkipWithError("the crawl did not reach every page");
            return;
        }
        crawled += static_cast<double>(result.nodes.size());
        seconds += result.stats.elapsedSeconds;
        waiting += result.stats.networkWaitSeconds;
    }
    state.counters["pages_per_s"] = crawled / seconds;
    state.counters["network_wait_share"] = waiting / seconds;
}
BENCHMARK(BM_CrawlGeneratedSite)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
