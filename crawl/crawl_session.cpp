#include "crawl/crawl_session.h"

namespace orvo::crawl {

namespace {
// Log lines kept for the window between two reads; a crawl of a broken site may log one line per
// page, and a window that reads rarely must not make the crawl hold them all.
constexpr std::size_t kMaxPendingLogLines = 10000;
}  // namespace

CrawlSession::CrawlSession(CrawlOptions options) : options_(std::move(options)) {
    thread_ = std::thread([this] {
        CrawlCallbacks callbacks;
        callbacks.cancel = &cancel_;
        callbacks.progress = [this](const CrawlStats& s) {
            std::lock_guard<std::mutex> lock(mutex_);
            stats_ = s;
        };
        callbacks.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (log_.size() < kMaxPendingLogLines) log_.push_back(line);
        };
        CrawlResult result = crawlSite(options_, callbacks);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stats_ = result.stats;
        }
        result_ = std::move(result);
        finished_.store(true, std::memory_order_release);
    });
}

CrawlSession::~CrawlSession() {
    stop();
    wait();
}

void CrawlSession::wait() {
    if (thread_.joinable()) thread_.join();
}

CrawlStats CrawlSession::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

std::vector<std::string> CrawlSession::takeLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    lines.swap(log_);
    return lines;
}

}  // namespace orvo::crawl
