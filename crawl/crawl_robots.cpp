#include "crawl/crawl_robots.h"

#include <algorithm>

#include "import/ascii_text.h"
#include "import/url.h"

namespace orvo::crawl {

namespace {

constexpr std::size_t kMaxRobotsBytes = 512 * 1024;

// Whether `pattern` ("*" any run of bytes, a final "$" the end of the path) matches a prefix of
// `path` (the whole path when it ends in "$"). Iterative, with one backtracking point per "*".
bool matches(std::string_view pattern, std::string_view path) {
    bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored) pattern.remove_suffix(1);
    std::size_t p = 0, s = 0, star = std::string_view::npos, resume = 0;
    while (true) {
        if (p == pattern.size()) {
            if (!anchored || s == path.size()) return true;
        } else if (pattern[p] == '*') {
            star = p++;
            resume = s;
            continue;
        } else if (s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        if (star == std::string_view::npos || resume >= path.size()) return false;
        p = star + 1;
        s = ++resume;
    }
}

}  // namespace

std::string productToken(std::string_view userAgent) {
    userAgent = trimAscii(userAgent);
    std::size_t end = 0;
    while (end < userAgent.size() && userAgent[end] != '/' && userAgent[end] != ' ' &&
           userAgent[end] != '\t')
        ++end;
    return asciiLowered(userAgent.substr(0, end));
}

RobotsRules RobotsRules::disallowAll() {
    RobotsRules r;
    r.rules_.push_back({"/", false});
    return r;
}

RobotsRules RobotsRules::parse(std::string_view text, std::string_view token) {
    if (text.size() > kMaxRobotsBytes) text = text.substr(0, kMaxRobotsBytes);
    const std::string me = asciiLowered(token);
    std::vector<Rule> mine, anyone;
    bool haveMine = false;
    bool inAgents = false;  // the previous line was a user-agent line
    bool forMe = false, forAnyone = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string key = asciiLowered(trimAscii(line.substr(0, colon)));
        const std::string_view value = trimAscii(line.substr(colon + 1));
        if (key == "user-agent") {
            if (!inAgents) forMe = forAnyone = false;  // a new group begins
            inAgents = true;
            const std::string agent = productToken(value);
            if (agent == "*") forAnyone = true;
            if (!me.empty() && agent == me) forMe = haveMine = true;
            continue;
        }
        if (key != "allow" && key != "disallow") continue;  // sitemap, crawl-delay ...
        inAgents = false;
        if (value.empty()) continue;  // "Disallow:" with nothing allows everything
        // Patterns are compared with paths as the crawl writes them.
        const Rule rule{normalisedPathEscapes(value), key == "allow"};
        if (forMe) mine.push_back(rule);
        if (forAnyone) anyone.push_back(rule);
    }
    RobotsRules r;
    r.rules_ = haveMine ? std::move(mine) : std::move(anyone);
    return r;
}

bool RobotsRules::allowed(std::string_view path) const {
    if (path == "/robots.txt") return true;
    std::size_t bestLength = 0;
    bool found = false, allow = true;
    for (const Rule& rule : rules_) {
        if (!matches(rule.pattern, path)) continue;
        const std::size_t length = rule.pattern.size();
        if (!found || length > bestLength || (length == bestLength && rule.allow && !allow)) {
            bestLength = length;
            allow = rule.allow;
            found = true;
        }
    }
    return allow;
}

}  // namespace orvo::crawl
