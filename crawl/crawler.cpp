#include "crawl/crawler.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <limits>
#include <optional>
#include <unordered_map>

#include "crawl/crawl_fetcher.h"
#include "crawl/crawl_robots.h"
#include "crawl/sitemap_check.h"
#include "import/content_kind.h"
#include "import/html_references.h"
#include "import/url.h"

#ifndef ORVO_VERSION
#define ORVO_VERSION "0"
#endif

namespace orvo::crawl {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr int kMaxRobotsRedirects = 5;
// Fetched pages whose references wait for the breadth-first walk to reach them, per connection.
constexpr std::size_t kLookaheadPerConnection = 64;
constexpr std::uint64_t kRobotsToken = std::uint64_t(1) << 63;

// Scheme, host and port of a normalised address ("http://h:8080"), and its path.
struct Origin {
    std::string origin;
    std::string path;
    bool web = false;  // http or https
};

Origin originOf(const std::string& url) {
    const UrlParts u = splitUrl(url);
    Origin o;
    o.web = u.hasAuthority && (u.scheme == "http" || u.scheme == "https");
    o.origin = u.scheme + "://" + u.host + (u.port.empty() ? "" : ":" + u.port);
    o.path = u.path.empty() ? "/" : u.path;
    return o;
}

// The folder of a path: up to and including its last '/'.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "/" : path.substr(0, slash + 1);
}

bool isHtmlType(std::string_view type) {
    return type == "text/html" || type == "application/xhtml+xml";
}

std::string describeStatus(long status) { return "HTTP " + std::to_string(status); }

// What a URL becomes when a page refers to it.
enum class Ask : std::uint8_t { Get, Head, Nothing };
enum class State : std::uint8_t { Waiting, Running, Done };

// A URL of the site that is (or was to be) requested, in the order the walk found it.
struct Entry {
    std::uint32_t node = kNone;
    std::uint32_t foundOn = kNone;  // the node whose page referred to it (none for the start)
    int depth = 0;
    int redirects = 0;  // hops that led here
    Ask ask = Ask::Get;
    State state = State::Waiting;
    std::vector<std::string> references;  // resolved, from its page, in document order
    std::optional<std::string> redirectTo;
};

struct RobotsState {
    enum Phase { Unknown, Fetching, Ready } phase = Unknown;
    RobotsRules rules;
    int hops = 0;
    std::string failure;  // why robots.txt could not be had, when it could not
};

class Crawl {
public:
    Crawl(const CrawlOptions& options, const CrawlCallbacks& callbacks)
        : options_(options), callbacks_(callbacks), fetcher_(fetchOptions(options)) {}

    CrawlResult run();

private:
    static FetchOptions fetchOptions(const CrawlOptions& o) {
        FetchOptions f;
        f.connections = std::max(1, o.connections);
        f.timeout = std::chrono::milliseconds(
            std::max<long long>(1, static_cast<long long>(o.timeoutSeconds * 1000.0)));
        f.maxBodyBytes = o.maxBodyBytes;
        f.userAgent = o.userAgent.empty() ? defaultUserAgent() : o.userAgent;
        f.verifyTls = o.verifyTls;
        return f;
    }

    void log(const std::string& line) {
        if (callbacks_.log) callbacks_.log(line);
    }
    bool cancelled() const {
        return callbacks_.cancel && callbacks_.cancel->load(std::memory_order_relaxed);
    }

    std::uint32_t addNode(const std::string& url, std::string kind, std::string group,
                          std::uint32_t parent);
    void refer(std::uint32_t from, const std::string& url, int depth, int redirects);
    void process(Entry& e);
    void handle(FetchResult&& r);
    void handleRobots(FetchResult&& r);
    void markFailed(Entry& e, const char* group, const std::string& why);
    void requeue(Entry& e, std::uint32_t index);
    bool dispatch(Clock::time_point now, Clock::time_point& wakeAt);
    void startRobots(const std::string& origin, const std::string& url);
    void setScope(const std::string& url);
    bool inScope(const Origin& o) const {
        return o.origin == scopeOrigin_ && (options_.wholeHost || o.path.starts_with(scopeFolder_));
    }
    void report(bool force);
    void readSitemap();

    const CrawlOptions& options_;
    const CrawlCallbacks& callbacks_;
    Fetcher fetcher_;
    CrawlResult result_;
    std::unordered_map<std::string, std::uint32_t> nodeOf_;
    std::deque<Entry> entries_;
    std::vector<std::uint32_t> entryOfNode_;  // kNone for nodes that are not requested
    std::size_t nextToStart_ = 0;
    std::size_t nextToProcess_ = 0;
    std::deque<std::uint32_t> retries_;  // entries to ask again (HEAD answered with HTML ...)
    std::unordered_map<std::string, RobotsState> robots_;
    std::unordered_map<std::string, Clock::time_point> nextRequestAt_;  // per host
    std::vector<std::string> robotsUrls_;  // of the robots.txt requests, by token
    std::string scopeOrigin_, scopeFolder_;
    std::size_t siteNodes_ = 0;  // nodes in scope, against maxPages
    std::size_t maxNodes_ = 0;
    std::uint64_t droppedByLimit_ = 0;
    std::uint64_t waiting_ = 0;  // entries waiting for their request
    bool warnedLimit_ = false;
    std::string startError_;  // why the start page could not be fetched
    Clock::time_point started_;
    Clock::time_point lastReport_;
};

std::uint32_t Crawl::addNode(const std::string& url, std::string kind, std::string group,
                             std::uint32_t parent) {
    const auto index = static_cast<std::uint32_t>(result_.nodes.size());
    result_.nodes.push_back({url, std::move(kind), std::move(group), parent});
    entryOfNode_.push_back(kNone);
    nodeOf_.emplace(url, index);
    return index;
}

void Crawl::setScope(const std::string& url) {
    const Origin o = originOf(url);
    scopeOrigin_ = o.origin;
    scopeFolder_ = folderOf(o.path);
}

// A reference from the page of node `from` to `url` (normalised), found at `depth`.
void Crawl::refer(std::uint32_t from, const std::string& url, int depth, int redirects) {
    if (auto known = nodeOf_.find(url); known != nodeOf_.end()) {
        result_.references.emplace_back(from, known->second);
        return;
    }
    if (options_.maxDepth >= 0 && depth > options_.maxDepth) return;
    const Origin o = originOf(url);
    const std::string kind(contentKindFromName(o.web ? o.path : url));
    if (!o.web || !inScope(o)) {
        // Other schemes, hosts and folders are leaves: never fetched.
        if (result_.nodes.size() >= maxNodes_) {
            ++droppedByLimit_;
            return;
        }
        const std::uint32_t leaf = addNode(url, kind, outcome::kExternal, from);
        result_.references.emplace_back(from, leaf);
        return;
    }
    if (siteNodes_ >= options_.maxPages) {
        if (!warnedLimit_) {
            log("page limit of " + std::to_string(options_.maxPages) +
                " reached: further pages are left out");
            warnedLimit_ = true;
        }
        ++droppedByLimit_;
        return;
    }
    ++siteNodes_;
    const std::uint32_t node = addNode(url, kind, outcome::kUnfetched, from);
    result_.references.emplace_back(from, node);
    if (redirects > std::max(0, options_.maxRedirects)) {
        result_.nodes[node].group = outcome::kError;
        ++result_.stats.failed;
        log(url + ": more than " + std::to_string(options_.maxRedirects) +
            " redirects, not fetched");
        return;
    }
    Entry e;
    e.node = node;
    e.foundOn = from;
    e.depth = depth;
    e.redirects = redirects;
    // Pages by name (and names that tell nothing) are fetched; other resources asked for with
    // HEAD, so that their kind comes from the server.
    const bool page = kind == "html" || kind == "other";
    e.ask = page ? Ask::Get : (options_.head ? Ask::Head : Ask::Nothing);
    if (e.ask == Ask::Nothing)
        e.state = State::Done;
    else
        ++waiting_;
    entryOfNode_[node] = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back(std::move(e));
}

// Runs when the walk reaches the entry: its references become nodes and records, in order.
void Crawl::process(Entry& e) {
    for (const std::string& url : e.references) refer(e.node, url, e.depth + 1, 0);
    std::vector<std::string>().swap(e.references);
    if (!e.redirectTo) return;
    const std::string target = *e.redirectTo;
    if (e.foundOn == kNone && originOf(target).web) {
        // The start page sends the crawl elsewhere (http to https, a folder without its
        // slash ...): the crawl's scope follows it.
        setScope(target);
        log("the start page redirects to " + target + ": crawling from there");
    }
    // A redirect links its address to its target, which hangs under it: a chain is a path. The
    // hop costs no depth.
    refer(e.node, target, e.depth, e.redirects + 1);
}

void Crawl::requeue(Entry& e, std::uint32_t index) {
    e.ask = Ask::Get;
    e.state = State::Waiting;
    retries_.push_back(index);
    ++waiting_;
}

void Crawl::markFailed(Entry& e, const char* group, const std::string& why) {
    if (e.node == 0) startError_ = why;
    result_.nodes[e.node].group = group;
    ++result_.stats.failed;
    log(result_.nodes[e.node].url + ": " + why);
}

void Crawl::handle(FetchResult&& r) {
    Entry& e = entries_[r.token];
    e.state = State::Done;
    ++result_.stats.fetched;
    result_.stats.bytes += r.bytes;
    CrawledNode& node = result_.nodes[e.node];
    if (r.status == 0) return markFailed(e, outcome::kUnreachable, r.error);
    if (r.status >= 300 && r.status < 400 && r.status != 304) {
        if (r.location.empty())
            return markFailed(e, outcome::kError, describeStatus(r.status) + " without a Location");
        if (auto target = resolveUrl(node.url, r.location)) {
            e.redirectTo = std::move(*target);
            node.group = outcome::kRedirect;
        } else {
            markFailed(e, outcome::kError, "redirect to an unusable address: " + r.location);
        }
        return;
    }
    if (r.status >= 400) {
        if (r.head && (r.status == 405 || r.status == 501)) {  // no HEAD here: ask with GET
            requeue(e, static_cast<std::uint32_t>(r.token));
            return;
        }
        const bool gone = r.status == 404 || r.status == 410;
        return markFailed(e, gone ? outcome::kMissing : outcome::kError, describeStatus(r.status));
    }
    node.group = outcome::kOk;
    if (isHtmlType(r.contentType) && r.head) {  // an HTML page behind a resource's name
        requeue(e, static_cast<std::uint32_t>(r.token));
        return;
    }
    if (!r.contentType.empty() && r.contentType != "application/octet-stream")
        node.kind = std::string(contentKindFromType(r.contentType));
    if (r.tooLarge) {
        log(node.url + ": larger than " + std::to_string(options_.maxBodyBytes >> 20) +
            " MiB, not read");
        return;
    }
    // A page sent without a type is read when its name says HTML, as a browser would.
    const bool html = isHtmlType(r.contentType) || (r.contentType.empty() && node.kind == "html");
    if (!html || r.head) return;
    HtmlReferences page = htmlReferences(r.body);
    std::string().swap(r.body);
    if (page.tooDeep) {
        log(node.url + ": elements nested more than " + std::to_string(kMaxHtmlNesting) +
            " deep, not parsed");
        return;
    }
    std::vector<std::string>& targets = page.targets;
    if (targets.size() > options_.maxReferencesPerPage) {
        log(node.url + ": " + std::to_string(targets.size()) + " references, only the first " +
            std::to_string(options_.maxReferencesPerPage) + " followed");
        targets.resize(options_.maxReferencesPerPage);
    }
    std::string base = node.url;
    if (!page.base.empty())
        if (auto resolved = resolveUrl(node.url, page.base)) base = std::move(*resolved);
    e.references.reserve(targets.size());
    for (const std::string& target : targets)
        if (auto url = resolveUrl(base, target)) e.references.push_back(std::move(*url));
}

void Crawl::startRobots(const std::string& origin, const std::string& url) {
    RobotsState& state = robots_[origin];
    state.phase = RobotsState::Fetching;
    robotsUrls_.push_back(origin);
    fetcher_.start({kRobotsToken | (robotsUrls_.size() - 1), url, false});
    ++result_.stats.requests;
    nextRequestAt_[origin] =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(options_.delaySeconds));
}

void Crawl::handleRobots(FetchResult&& r) {
    const std::string origin = robotsUrls_[r.token & ~kRobotsToken];
    RobotsState& state = robots_[origin];
    result_.stats.bytes += r.bytes;
    const std::string token =
        productToken(options_.userAgent.empty() ? defaultUserAgent() : options_.userAgent);
    state.phase = RobotsState::Ready;
    if (r.status >= 200 && r.status < 300 && !r.tooLarge) {
        state.rules = RobotsRules::parse(r.body, token);
    } else if (r.status >= 300 && r.status < 400 && !r.location.empty() &&
               state.hops < kMaxRobotsRedirects) {
        if (auto target = resolveUrl(r.url, r.location); target && originOf(*target).web) {
            ++state.hops;
            robotsUrls_.push_back(origin);
            fetcher_.start({kRobotsToken | (robotsUrls_.size() - 1), *target, false});
            ++result_.stats.requests;
            state.phase = RobotsState::Fetching;
            return;
        }
        state.rules = RobotsRules();
    } else if (r.status >= 400 && r.status < 500) {
        state.rules = RobotsRules();  // no robots.txt: everything allowed
    } else if (r.status == 0 || r.status >= 500) {
        // The site may be down, or may not want crawlers at all: either way nothing is fetched.
        state.rules = RobotsRules::disallowAll();
        state.failure = r.url + ": " + (r.status ? describeStatus(r.status) : r.error);
        log(state.failure + ": nothing of " + origin +
            " is crawled (--ignore-robots crawls anyway)");
    }
}

// Starts what may start now; returns false when nothing is left to start or wait for.
bool Crawl::dispatch(Clock::time_point now, Clock::time_point& wakeAt) {
    const std::size_t connections = static_cast<std::size_t>(std::max(1, options_.connections));
    const std::size_t window = connections * kLookaheadPerConnection;
    while (fetcher_.running() < connections) {
        std::uint32_t index = kNone;
        bool retry = false;
        if (!retries_.empty()) {
            index = retries_.front();
            retry = true;
        } else {
            while (nextToStart_ < entries_.size() && entries_[nextToStart_].state != State::Waiting)
                ++nextToStart_;
            if (nextToStart_ >= entries_.size() || nextToStart_ >= nextToProcess_ + window) break;
            index = static_cast<std::uint32_t>(nextToStart_);
        }
        Entry& e = entries_[index];
        const std::string& url = result_.nodes[e.node].url;
        const Origin o = originOf(url);
        if (!options_.ignoreRobots) {
            RobotsState& robots = robots_[o.origin];
            if (robots.phase == RobotsState::Unknown) {
                startRobots(o.origin, o.origin + "/robots.txt");
                continue;
            }
            if (robots.phase == RobotsState::Fetching) break;
            if (!robots.rules.allowed(o.path)) {
                // A page the site asks crawlers to leave alone stays a leaf.
                e.state = State::Done;
                --waiting_;
                result_.nodes[e.node].group = outcome::kRobots;
                log(url + ": disallowed by robots.txt, not fetched");
                if (e.node == 0) {
                    startError_ = robots.failure.empty()
                                      ? "disallowed by robots.txt (--ignore-robots crawls anyway)"
                                      : robots.failure;
                }
                if (retry) retries_.pop_front();
                continue;
            }
        }
        auto& at = nextRequestAt_[o.origin];
        if (at > now) {
            wakeAt = std::min(wakeAt, at);
            break;
        }
        at = now + std::chrono::duration_cast<Clock::duration>(
                       std::chrono::duration<double>(options_.delaySeconds));
        e.state = State::Running;
        --waiting_;
        fetcher_.start({index, url, e.ask == Ask::Head});
        ++result_.stats.requests;
        if (retry) retries_.pop_front();
    }
    return fetcher_.running() > 0 || !retries_.empty() || nextToProcess_ < entries_.size();
}

// The sitemap's addresses within the scope; one that lists none of them says nothing of it.
void Crawl::readSitemap() {
    const bool chosen = !options_.sitemap.empty();
    const std::string where = chosen ? options_.sitemap : scopeOrigin_ + "/sitemap.xml";
    std::vector<std::string> listed;
    std::string error;
    std::vector<std::string> notes;
    const bool read = loadSitemap(where, fetchOptions(options_), listed, error, &notes);
    for (const std::string& line : notes) log(line);
    if (!read) {
        if (chosen)
            log("sitemap " + where + ": " + error + "; the pages are not checked against it");
        return;
    }
    for (std::string& url : listed)
        if (const Origin o = originOf(url); o.web && inScope(o))
            result_.sitemapPages.push_back(std::move(url));
    if (chosen && result_.sitemapPages.empty())
        log("sitemap " + where + ": lists no page of the crawl");
}

void Crawl::report(bool force) {
    const auto now = Clock::now();
    if (!force && now - lastReport_ < std::chrono::milliseconds(100)) return;
    lastReport_ = now;
    result_.stats.elapsedSeconds = std::chrono::duration<double>(now - started_).count();
    result_.stats.queued = waiting_;
    if (callbacks_.progress) callbacks_.progress(result_.stats);
}

CrawlResult Crawl::run() {
    started_ = Clock::now();
    maxNodes_ = std::max<std::size_t>(1'000'000, options_.maxPages * 4);
    if (!fetcher_.ok()) {
        result_.error = fetcher_.setupError();
        return std::move(result_);
    }
    const std::optional<std::string> start = normaliseUrl(options_.startUrl);
    if (!start || !originOf(*start).web || splitUrl(*start).host.empty()) {
        result_.error = "not an http or https address: " + options_.startUrl;
        return std::move(result_);
    }
    result_.ok = true;
    setScope(*start);
    siteNodes_ = 1;
    const std::uint32_t root = addNode(*start, "html", outcome::kUnfetched, kNone);
    Entry first;
    first.node = root;
    entryOfNode_[root] = 0;
    entries_.push_back(std::move(first));
    waiting_ = 1;
    if (options_.ignoreRobots) log("warning: robots.txt is ignored (--ignore-robots)");
    if (!options_.verifyTls) log("warning: TLS certificates are not verified (--insecure)");

    while (true) {
        if (cancelled()) {
            result_.stopped = true;
            fetcher_.abortAll();
            break;
        }
        // The walk goes on as far as the answers have come in, in the order it found the URLs.
        while (nextToProcess_ < entries_.size() && entries_[nextToProcess_].state == State::Done)
            process(entries_[nextToProcess_++]);
        const auto now = Clock::now();
        auto wakeAt = now + std::chrono::milliseconds(100);
        if (!dispatch(now, wakeAt)) break;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now) +
                          std::chrono::milliseconds(1);
        const auto before = Clock::now();
        std::vector<FetchResult> done = fetcher_.poll(std::max(std::chrono::milliseconds(0), wait));
        result_.stats.networkWaitSeconds +=
            std::chrono::duration<double>(Clock::now() - before).count();
        for (FetchResult& r : done) {
            if (r.token & kRobotsToken)
                handleRobots(std::move(r));
            else
                handle(std::move(r));
        }
        report(false);
    }
    // Stopped: what was fetched is still walked; what was not stays a leaf.
    for (; nextToProcess_ < entries_.size(); ++nextToProcess_) {
        Entry& e = entries_[nextToProcess_];
        if (e.state == State::Done) process(e);
    }
    if (droppedByLimit_ > 0)
        log(std::to_string(droppedByLimit_) + " references to further URLs left out by the limits");
    report(true);
    if (startError_.empty() && !result_.stopped) readSitemap();
    if (!startError_.empty()) {
        // Nothing of the site was reached: a failure, not a one-node graph.
        result_.ok = false;
        result_.error = result_.nodes[0].url + ": " + startError_;
    }
    return std::move(result_);
}

}  // namespace

std::string defaultUserAgent() {
    return std::string("orvo/") + ORVO_VERSION + " (+site structure crawl)";
}

CrawlResult crawlSite(const CrawlOptions& options, const CrawlCallbacks& callbacks) {
    Crawl crawl(options, callbacks);
    return crawl.run();
}

}  // namespace orvo::crawl
