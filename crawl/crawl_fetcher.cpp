#include "crawl/crawl_fetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "import/ascii_text.h"

namespace orvo::crawl {

namespace {

// curl_global_init is not thread-safe in older libcurl; once per process is enough.
bool globalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

std::string describe(int code, long timeoutMs, const char* detail) {
    if (code == CURLE_OPERATION_TIMEDOUT) {
        const long seconds = timeoutMs / 1000, tenths = (timeoutMs % 1000) / 100;
        // Appended piece by piece: the one-expression form trips a false -Wrestrict of GCC 12
        // at -O3.
        std::string text = "timed out after ";
        text += std::to_string(seconds);
        if (tenths) {
            text += '.';
            text += std::to_string(tenths);
        }
        text += " s";
        return text;
    }
    std::string text = curl_easy_strerror(static_cast<CURLcode>(code));
    if (detail && *detail) text += std::string(": ") + detail;
    return text;
}

}  // namespace

std::string mediaType(std::string_view contentType) {
    const std::size_t semicolon = contentType.find(';');
    return asciiLowered(trimAscii(contentType.substr(0, semicolon)));
}

struct Fetcher::Transfer {
    CURL* easy = nullptr;
    FetchResult result;
    std::size_t cap = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

Fetcher::Fetcher(const FetchOptions& options) : options_(options) {
    options_.connections = std::max(1, options_.connections);
    if (!globalInit()) {
        setupError_ = "libcurl could not be initialised";
        return;
    }
    CURLM* multi = curl_multi_init();
    if (!multi) {
        setupError_ = "libcurl could not be initialised";
        return;
    }
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(options_.connections));
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(options_.connections));
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, long(options_.connections));
    multi_ = multi;
}

Fetcher::~Fetcher() {
    abortAll();
    for (Transfer* t : idle_) {
        curl_easy_cleanup(t->easy);
        delete t;
    }
    if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

std::size_t Fetcher::onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    if (t->result.body.size() + n > t->cap) {
        t->result.tooLarge = true;
        return 0;  // ends the transfer (CURLE_WRITE_ERROR), which finish() does not count as one
    }
    t->result.body.append(data, n);
    return n;
}

std::size_t Fetcher::onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    const std::string_view line(data, n);
    if (startsWithNoCase(line, "HTTP/")) {  // a new response (after 1xx): forget the last one
        t->result.contentType.clear();
        t->result.location.clear();
    } else if (startsWithNoCase(line, "content-type:")) {
        t->result.contentType = mediaType(line.substr(13));
    } else if (startsWithNoCase(line, "location:")) {
        t->result.location = std::string(trimAscii(line.substr(9)));
    } else if (startsWithNoCase(line, "content-length:") && !t->result.head) {
        const std::string_view value = trimAscii(line.substr(15));
        unsigned long long length = 0;
        bool number = !value.empty();
        for (char c : value) {
            if (c < '0' || c > '9' || length > (1ull << 60)) {
                number = false;
                break;
            }
            length = length * 10 + unsigned(c - '0');
        }
        if (number && length > t->cap) {  // announced too large: not worth reading at all
            t->result.tooLarge = true;
            return 0;
        }
    }
    return n;
}

void Fetcher::configure(Transfer& t, const FetchRequest& request) {
    CURL* e = t.easy;
    curl_easy_reset(e);
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_NOBODY, request.head ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");  // every encoding libcurl can decode
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(options_.timeout.count()));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(options_.timeout.count()));
    curl_easy_setopt(e, CURLOPT_USERAGENT, options_.userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, options_.verifyTls ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, options_.verifyTls ? 2L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(options_.maxBodyBytes));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Fetcher::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Fetcher::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
}

void Fetcher::start(const FetchRequest& request) {
    Transfer* t = nullptr;
    if (!idle_.empty()) {
        t = idle_.back();
        idle_.pop_back();
    } else {
        t = new Transfer;
        t->easy = curl_easy_init();
    }
    t->result = FetchResult{};
    t->result.token = request.token;
    t->result.url = request.url;
    t->result.head = request.head;
    t->cap = options_.maxBodyBytes;
    t->errorBuffer[0] = '\0';
    active_.push_back(t);
    if (!t->easy || !multi_) {
        t->result.error = "libcurl could not be initialised";
        return;  // reported by the next poll
    }
    configure(*t, request);
    curl_multi_add_handle(static_cast<CURLM*>(multi_), t->easy);
}

void Fetcher::finish(Transfer& t, int code, std::vector<FetchResult>& done) {
    FetchResult& r = t.result;
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t received = 0, total = 0;
    curl_easy_getinfo(t.easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(t.easy, CURLINFO_TOTAL_TIME_T, &total);
    long headerBytes = 0;
    curl_easy_getinfo(t.easy, CURLINFO_HEADER_SIZE, &headerBytes);
    r.bytes = std::uint64_t(received) + std::uint64_t(std::max(0L, headerBytes));
    r.seconds = double(total) / 1e6;
    const bool capped = r.tooLarge && (code == CURLE_WRITE_ERROR ||
                                       code == CURLE_FILESIZE_EXCEEDED || code == CURLE_OK);
    if (code == CURLE_FILESIZE_EXCEEDED) r.tooLarge = true;
    if (code == CURLE_OK || capped || code == CURLE_FILESIZE_EXCEEDED) {
        r.status = status;
        if (r.tooLarge) r.body.clear();  // a partial page is not read: it stays a node
    } else {
        r.status = 0;
        r.body.clear();
        r.error = describe(code, long(options_.timeout.count()), t.errorBuffer);
    }
    done.push_back(std::move(r));
    r = FetchResult{};
}

std::vector<FetchResult> Fetcher::poll(std::chrono::milliseconds wait) {
    std::vector<FetchResult> done;
    // Transfers that could not even start are reported at once.
    for (auto it = active_.begin(); it != active_.end();) {
        Transfer* t = *it;
        if (!t->easy || !multi_) {
            done.push_back(std::move(t->result));
            if (t->easy) curl_easy_cleanup(t->easy);
            delete t;
            it = active_.erase(it);
        } else {
            ++it;
        }
    }
    if (!multi_ || active_.empty()) return done;
    CURLM* multi = static_cast<CURLM*>(multi_);
    int running = 0;
    curl_multi_perform(multi, &running);
    if (running > 0 && wait.count() > 0) {
        curl_multi_poll(multi, nullptr, 0, int(wait.count()), nullptr);
        curl_multi_perform(multi, &running);
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        CURL* easy = message->easy_handle;
        const CURLcode code = message->data.result;
        Transfer* t = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
        curl_multi_remove_handle(multi, easy);
        finish(*t, code, done);
        active_.erase(std::find(active_.begin(), active_.end(), t));
        idle_.push_back(t);
    }
    return done;
}

void Fetcher::abortAll() {
    for (Transfer* t : active_) {
        if (t->easy && multi_) curl_multi_remove_handle(static_cast<CURLM*>(multi_), t->easy);
        if (t->easy) curl_easy_cleanup(t->easy);
        delete t;
    }
    active_.clear();
}

}  // namespace orvo::crawl
