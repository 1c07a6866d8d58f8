// Web addresses as node ids: splitting, resolving a reference against the page that holds it,
// and one normal form, so that two spellings of the same address give the same node.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvo {

/// The parts of an absolute or relative reference. `has*` tell an empty part from a missing one
/// ("http://h/?" has an empty query, "http://h/" none).
struct UrlParts {
    std::string scheme;  // without the ':'
    std::string userinfo;
    std::string host;
    std::string port;  // digits, as written
    std::string path;
    std::string query;     // without the '?'
    std::string fragment;  // without the '#'
    bool hasScheme = false;
    bool hasAuthority = false;
    bool hasQuery = false;
    bool hasFragment = false;
};

/// True for the inputs that name a web site to crawl: an address starting with http:// or
/// https://, in any case.
bool isWebAddress(std::string_view input);

/// Splits a reference into its parts. Never fails: text that is no valid reference still splits
/// into something (a path, mostly); callers check what they need.
UrlParts splitUrl(std::string_view reference);

/// The normal form of an absolute http, https or ftp address: scheme and host in lower case, the
/// scheme's default port dropped, `.` and `..` segments resolved, an empty path read as "/",
/// percent-escapes of unreserved characters decoded and every other byte that may not stand
/// bare encoded (hex digits in upper case), user information, query and fragment dropped. Other
/// schemes keep their text minus the fragment, with only the scheme lowered. nullopt when the
/// text has no scheme, or a web scheme without a host.
std::optional<std::string> normaliseUrl(std::string_view absolute);

/// Resolves a reference found on the page `base` (an absolute address) the way a browser does,
/// and returns the normal form of the result (see normaliseUrl). nullopt when there is no result.
std::optional<std::string> resolveUrl(std::string_view base, std::string_view reference);

/// Removes `.` and `..` segments from an absolute or relative path; `..` never climbs above the
/// start of the path.
std::string removeDotSegments(std::string_view path);

/// A path with its escapes in the normal form of normaliseUrl (escapes of unreserved characters
/// decoded, others in upper-case hex, bytes that may not stand bare encoded); nothing else of it
/// changes (for comparing path patterns, such as robots.txt rules, with normalised paths).
std::string normalisedPathEscapes(std::string_view path);

/// Decodes %XX escapes; a '%' not followed by two hex digits stays as it is.
std::string percentDecode(std::string_view text);

/// Encodes every byte of a path that may not stand bare in one ('/' stays as the separator; so
/// do unreserved characters, sub-delimiters, ':' and '@'). A '%' is always encoded: the input is
/// taken as decoded text.
std::string percentEncodePath(std::string_view decoded);

/// True when both normal-form addresses have the same scheme, host and port.
bool sameOrigin(std::string_view a, std::string_view b);

/// True when the normal-form address `url` lies at or below `base` (same origin, and base's path
/// up to its last '/' is a prefix of url's path).
bool isUnder(std::string_view url, std::string_view base);

/// True for the schemes whose addresses a site's graph follows or keeps as external leaves.
bool isWebScheme(std::string_view lowerScheme);

/// The scheme of an absolute reference, lower-cased; empty when the reference is relative.
std::string schemeOf(std::string_view reference);

}  // namespace orvo
