// Reference splitting and resolution after the generic URI syntax, with the few browser habits
// that pages rely on (surrounding blanks ignored, tabs and line breaks inside removed, '\' read
// as '/' in web addresses).
#include "import/url.h"

#include <vector>

#include "import/ascii_text.h"

namespace orvo {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
bool isUnreserved(unsigned char c) {
    return isAlpha(static_cast<char>(c)) || isDigit(static_cast<char>(c)) || c == '-' || c == '.' ||
           c == '_' || c == '~';
}
bool isSubDelimiter(unsigned char c) {
    switch (c) {
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=':
            return true;
        default:
            return false;
    }
}
bool mayStandBareInPath(unsigned char c) {
    return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/';
}
constexpr char kHex[] = "0123456789ABCDEF";
void appendEscape(std::string& out, unsigned char c) {
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
}

// Leading and trailing blanks and control characters go; tabs and line breaks inside go too.
std::string cleaned(std::string_view reference) {
    size_t first = 0, last = reference.size();
    while (first < last && static_cast<unsigned char>(reference[first]) <= 0x20) ++first;
    while (last > first && static_cast<unsigned char>(reference[last - 1]) <= 0x20) --last;
    std::string out;
    out.reserve(last - first);
    for (size_t i = first; i < last; ++i) {
        const char c = reference[i];
        if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
    }
    return out;
}

// Escapes normalised in a path: unreserved characters decoded, the rest in upper-case hex, and
// bytes that may not stand bare encoded.
std::string normalisePathEscapes(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c == '%' && i + 2 < path.size() && hexValue(path[i + 1]) >= 0 &&
            hexValue(path[i + 2]) >= 0) {
            const auto decoded =
                static_cast<unsigned char>(hexValue(path[i + 1]) * 16 + hexValue(path[i + 2]));
            if (isUnreserved(decoded)) {
                out.push_back(static_cast<char>(decoded));
            } else {
                appendEscape(out, decoded);
            }
            i += 2;
        } else if (mayStandBareInPath(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            appendEscape(out, c);
        }
    }
    return out;
}

std::string_view defaultPort(std::string_view scheme) {
    if (scheme == "http") return "80";
    if (scheme == "https") return "443";
    if (scheme == "ftp") return "21";
    return {};
}

std::string joinParts(const UrlParts& u) {
    std::string out;
    if (u.hasScheme) out.append(u.scheme).push_back(':');
    if (u.hasAuthority) {
        out.append("//");
        if (!u.userinfo.empty()) out.append(u.userinfo).push_back('@');
        out.append(u.host);
        if (!u.port.empty()) out.append(":").append(u.port);
    }
    out.append(u.path);
    if (u.hasQuery) out.append("?").append(u.query);
    if (u.hasFragment) out.append("#").append(u.fragment);
    return out;
}

// The base path without its last segment, joined with a relative path.
std::string mergePaths(const UrlParts& base, std::string_view relative) {
    if (base.hasAuthority && base.path.empty()) return "/" + std::string(relative);
    const size_t slash = base.path.rfind('/');
    if (slash == std::string::npos) return std::string(relative);
    return base.path.substr(0, slash + 1) + std::string(relative);
}

}  // namespace

std::string normalisedPathEscapes(std::string_view path) { return normalisePathEscapes(path); }

bool isWebAddress(std::string_view input) {
    return startsWithNoCase(input, "http://") || startsWithNoCase(input, "https://");
}

UrlParts splitUrl(std::string_view reference) {
    UrlParts u;
    std::string_view rest = reference;
    // Scheme: a letter, then letters, digits, '+', '-', '.', up to a ':' before any '/', '?', '#'.
    if (!rest.empty() && isAlpha(rest[0])) {
        size_t i = 1;
        while (i < rest.size() && (isAlpha(rest[i]) || isDigit(rest[i]) || rest[i] == '+' ||
                                   rest[i] == '-' || rest[i] == '.')) {
            ++i;
        }
        if (i < rest.size() && rest[i] == ':') {
            u.hasScheme = true;
            u.scheme = std::string(rest.substr(0, i));
            rest.remove_prefix(i + 1);
        }
    }
    if (const size_t hash = rest.find('#'); hash != std::string_view::npos) {
        u.hasFragment = true;
        u.fragment = std::string(rest.substr(hash + 1));
        rest = rest.substr(0, hash);
    }
    if (const size_t question = rest.find('?'); question != std::string_view::npos) {
        u.hasQuery = true;
        u.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    if (rest.substr(0, 2) == "//") {
        u.hasAuthority = true;
        rest.remove_prefix(2);
        const size_t end = rest.find('/');
        std::string_view authority = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
        if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
            u.userinfo = std::string(authority.substr(0, at));
            authority.remove_prefix(at + 1);
        }
        // A port follows the last ':' unless that ':' is inside an IPv6 literal.
        const size_t colon = authority.rfind(':');
        const size_t bracket = authority.rfind(']');
        if (colon != std::string_view::npos &&
            (bracket == std::string_view::npos || colon > bracket)) {
            u.port = std::string(authority.substr(colon + 1));
            authority = authority.substr(0, colon);
        }
        u.host = std::string(authority);
    }
    u.path = std::string(rest);
    return u;
}

std::string removeDotSegments(std::string_view path) {
    // Segments are kept on a stack; the output is rebuilt at the end (linear in the path).
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string_view> segments;
    size_t pos = absolute ? 1 : 0;
    bool trailingSlash = false;
    while (pos <= path.size()) {
        const size_t slash = path.find('/', pos);
        const std::string_view segment = path.substr(
            pos, slash == std::string_view::npos ? std::string_view::npos : slash - pos);
        const bool last = slash == std::string_view::npos;
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
            trailingSlash = last;
        } else {
            segments.push_back(segment);
            trailingSlash = false;
        }
        if (last) break;
        pos = slash + 1;
    }
    std::string out;
    out.reserve(path.size());
    if (absolute) out.push_back('/');
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) out.push_back('/');
        out.append(segments[i]);
    }
    if (trailingSlash && !segments.empty()) out.push_back('/');
    return out;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string percentEncodePath(std::string_view decoded) {
    std::string out;
    out.reserve(decoded.size());
    for (const char ch : decoded) {
        const auto c = static_cast<unsigned char>(ch);
        if (mayStandBareInPath(c)) {
            out.push_back(ch);
        } else {
            appendEscape(out, c);
        }
    }
    return out;
}

bool sameOrigin(std::string_view a, std::string_view b) {
    const UrlParts x = splitUrl(a), y = splitUrl(b);
    return x.hasScheme && y.hasScheme && asciiLowered(x.scheme) == asciiLowered(y.scheme) &&
           x.hasAuthority == y.hasAuthority && asciiLowered(x.host) == asciiLowered(y.host) &&
           x.port == y.port;
}

bool isUnder(std::string_view url, std::string_view base) {
    if (!sameOrigin(url, base)) return false;
    const UrlParts u = splitUrl(url), b = splitUrl(base);
    const std::string_view folder = std::string_view(b.path).substr(
        0, b.path.rfind('/') == std::string::npos ? 0 : b.path.rfind('/') + 1);
    return std::string_view(u.path).starts_with(folder);
}

bool isWebScheme(std::string_view lowerScheme) {
    return lowerScheme == "http" || lowerScheme == "https" || lowerScheme == "ftp";
}

std::string schemeOf(std::string_view reference) {
    const UrlParts u = splitUrl(cleaned(reference));
    return u.hasScheme ? asciiLowered(u.scheme) : std::string();
}

std::optional<std::string> normaliseUrl(std::string_view absolute) {
    UrlParts u = splitUrl(cleaned(absolute));
    if (!u.hasScheme) return std::nullopt;
    u.scheme = asciiLowered(u.scheme);
    u.hasFragment = false;
    u.fragment.clear();
    if (!isWebScheme(u.scheme)) return joinParts(u);

    if (!u.hasAuthority || u.host.empty()) return std::nullopt;
    for (const char c : u.port) {
        if (!isDigit(c)) return std::nullopt;
    }
    size_t zeros = 0;
    while (zeros + 1 < u.port.size() && u.port[zeros] == '0') ++zeros;
    u.port.erase(0, zeros);
    if (u.port == defaultPort(u.scheme)) u.port.clear();
    u.host = asciiLowered(u.host);
    for (const char c : u.host) {
        // A host with blanks, controls or delimiters cannot be an address on the wire.
        if (static_cast<unsigned char>(c) <= 0x20 || c == '<' || c == '>' || c == '"' ||
            c == '\\' || c == '^' || c == '`' || c == '{' || c == '|' || c == '}') {
            return std::nullopt;
        }
    }
    u.userinfo.clear();
    u.hasQuery = false;
    u.query.clear();
    std::string path = u.path;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    path = removeDotSegments(normalisePathEscapes(path));
    if (path.empty() || path[0] != '/') path.insert(path.begin(), '/');
    u.path = std::move(path);
    return joinParts(u);
}

std::optional<std::string> resolveUrl(std::string_view base, std::string_view reference) {
    const UrlParts b = splitUrl(cleaned(base));
    if (!b.hasScheme) return std::nullopt;
    std::string text = cleaned(reference);
    const bool webBase = isWebScheme(asciiLowered(b.scheme));
    UrlParts r = splitUrl(text);
    if (webBase && (!r.hasScheme || isWebScheme(asciiLowered(r.scheme)))) {
        for (char& c : text) {
            if (c == '\\') c = '/';
        }
        r = splitUrl(text);
    }
    if (r.hasScheme) return normaliseUrl(joinParts(r));

    UrlParts t;
    t.hasScheme = true;
    t.scheme = b.scheme;
    if (r.hasAuthority) {
        t.hasAuthority = true;
        t.userinfo = r.userinfo;
        t.host = r.host;
        t.port = r.port;
        t.path = removeDotSegments(r.path);
    } else {
        t.hasAuthority = b.hasAuthority;
        t.userinfo = b.userinfo;
        t.host = b.host;
        t.port = b.port;
        if (r.path.empty()) {
            t.path = b.path;
        } else if (r.path[0] == '/') {
            t.path = removeDotSegments(r.path);
        } else {
            t.path = removeDotSegments(mergePaths(b, r.path));
        }
    }
    return normaliseUrl(joinParts(t));
}

}  // namespace orvo
