// The rules of a site's robots.txt for one crawler: the groups that name the crawler's product
// token (or, when none does, the groups for "*"), their allow and disallow lines with the "*"
// and "$" patterns, the longest matching rule deciding and allow winning a tie.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvo::crawl {

class RobotsRules {
public:
    /// No rules: every path is allowed.
    RobotsRules() = default;
    /// Reads robots.txt text (at most its first 512 KiB) for the crawler named `productToken`.
    static RobotsRules parse(std::string_view text, std::string_view productToken);
    /// Every path disallowed (a robots.txt that could not be fetched because the server failed).
    static RobotsRules disallowAll();

    /// Whether the crawler may fetch `path` (the URL's path, starting with '/').
    bool allowed(std::string_view path) const;
    std::size_t ruleCount() const { return rules_.size(); }

private:
    struct Rule {
        std::string pattern;
        bool allow = false;
    };
    std::vector<Rule> rules_;
};

/// The product token of a User-Agent string: its first word up to '/' ("orvo/2.0 (x)" -> "orvo").
std::string productToken(std::string_view userAgent);

}  // namespace orvo::crawl
