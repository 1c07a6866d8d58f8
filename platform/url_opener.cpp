// The URL handler: posix_spawnp with an argument vector; the child is reaped by a detached
// thread so that no zombie stays behind.
#include "platform/url_opener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace orvo {

namespace {

bool startsWithFolded(std::string_view s, std::string_view lowerPrefix) {
    if (s.size() < lowerPrefix.size()) return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != lowerPrefix[i]) return false;
    }
    return true;
}

std::vector<std::string> splitWords(std::string_view text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        if (i > start) words.emplace_back(text.substr(start, i - start));
    }
    return words;
}

}  // namespace

bool isWebUrl(std::string_view id) {
    size_t rest = 0;
    if (startsWithFolded(id, "http://")) {
        rest = 7;
    } else if (startsWithFolded(id, "https://")) {
        rest = 8;
    } else {
        return false;
    }
    if (id.size() <= rest || id[rest] == '/') return false;  // no host
    for (const char c : id) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F) return false;
    }
    return true;
}

std::vector<std::string> urlHandlerCommand() {
    if (const char* own = std::getenv("ORVO_URL_HANDLER"); own != nullptr && *own != '\0') {
        std::vector<std::string> words = splitWords(own);
        if (!words.empty()) return words;
    }
    if (const char* browser = std::getenv("BROWSER"); browser != nullptr && *browser != '\0') {
        const std::string_view all(browser);
        std::vector<std::string> words = splitWords(all.substr(0, all.find(':')));
        if (!words.empty()) return words;
    }
    return {"xdg-open"};
}

bool openUrl(const std::string& url, std::string& error) {
    if (!isWebUrl(url)) {
        error = "not a web address";
        return false;
    }
    std::vector<std::string> args = urlHandlerCommand();
    bool placed = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "%s") {
            args[i] = url;
            placed = true;
        }
    }
    if (!placed) args.push_back(url);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int failed = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (failed != 0) {
        error = "cannot start " + args[0] + ": " + std::strerror(failed);
        return false;
    }
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace orvo
