// A crawl running on a thread of its own, for a window that shows its progress and may stop it:
// the latest figures and log lines can be read at any time, stop() ends the crawl soon with
// what was crawled so far, and the result is there once finished() is true.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "crawl/crawler.h"

namespace orvo::crawl {

class CrawlSession {
public:
    explicit CrawlSession(CrawlOptions options);
    /// Stops the crawl and waits for its thread.
    ~CrawlSession();
    CrawlSession(const CrawlSession&) = delete;
    CrawlSession& operator=(const CrawlSession&) = delete;

    /// The figures of the last progress report.
    CrawlStats stats() const;
    /// The log lines written since the last call.
    std::vector<std::string> takeLog();
    /// Asks the crawl to end soon; the result then holds what was crawled so far.
    void stop() { cancel_ = true; }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    /// Waits until the crawl has ended.
    void wait();
    /// The crawl's result; only once finished() is true.
    const CrawlResult& result() const { return result_; }

private:
    CrawlOptions options_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex mutex_;
    CrawlStats stats_;
    std::vector<std::string> log_;
    CrawlResult result_;
    std::thread thread_;
};

}  // namespace orvo::crawl
