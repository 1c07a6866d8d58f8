// Parallel HTTP(S) fetching for the site crawl, on libcurl's multi interface: a fixed number of
// transfers at once over kept-alive connections, compressed transfer, a body cap, a per-request
// timeout. Redirects are not followed here: the crawl follows them itself, so that every hop is
// checked against its scope. Only http and https are ever fetched.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::crawl {

struct FetchOptions {
    int connections = 4;                       // transfers at once (and connections kept)
    std::chrono::milliseconds timeout{20000};  // whole request, connection included
    std::size_t maxBodyBytes = 8u << 20;       // at most this much of any response is read
    std::string userAgent;
    bool verifyTls = true;
};

struct FetchRequest {
    std::uint64_t token = 0;  // the caller's name for the request, handed back with the result
    std::string url;
    bool head = false;  // HEAD instead of GET: the status and headers only
};

struct FetchResult {
    std::uint64_t token = 0;
    std::string url;
    bool head = false;
    long status = 0;          // HTTP status; 0 when no response came (see error)
    std::string contentType;  // media type of Content-Type, lower case, without parameters
    std::string location;     // Location header of a redirect, as sent
    std::string body;         // decoded body, at most maxBodyBytes
    bool tooLarge = false;    // the body (or its announced length) exceeded maxBodyBytes
    std::string error;        // why no response came: timeout, refused connection, TLS ...
    std::uint64_t bytes = 0;  // bytes received on the wire for this request (headers and body)
    double seconds = 0;       // from the start of the transfer to its end
};

/// Runs requests on libcurl's multi interface. Not thread-safe: one thread adds and polls.
class Fetcher {
public:
    explicit Fetcher(const FetchOptions& options);
    ~Fetcher();
    Fetcher(const Fetcher&) = delete;
    Fetcher& operator=(const Fetcher&) = delete;

    /// False when libcurl could not be set up (the reason is in `setupError`).
    bool ok() const { return multi_ != nullptr; }
    const std::string& setupError() const { return setupError_; }

    /// Starts the request at once; the caller keeps at most `connections` running.
    void start(const FetchRequest& request);
    /// Transfers running now.
    std::size_t running() const { return active_.size(); }
    /// Waits at most `wait` for network activity, drives the transfers and returns those that
    /// ended (in any order).
    std::vector<FetchResult> poll(std::chrono::milliseconds wait);
    /// Ends every running transfer without a result.
    void abortAll();

private:
    struct Transfer;
    void configure(Transfer& t, const FetchRequest& request);
    void finish(Transfer& t, int curlCode, std::vector<FetchResult>& done);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user);

    FetchOptions options_;
    void* multi_ = nullptr;  // CURLM*
    std::string setupError_;
    std::vector<Transfer*> active_;
    std::vector<Transfer*> idle_;  // easy handles kept for reuse
};

/// The media type of a Content-Type value: lower case, parameters and blanks removed.
std::string mediaType(std::string_view contentType);

}  // namespace orvo::crawl
