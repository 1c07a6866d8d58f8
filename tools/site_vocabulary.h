// What generated sites are made of: a seeded generator of numbers that gives the same sequence on
// every machine, and the words, hosts and file types their addresses are built from.
#pragma once

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace orvo::site {

// splitmix64: small, fast and identical everywhere (the standard distributions are not).
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [0, n); 0 when n is 0.
    uint32_t below(uint64_t n) { return uint32_t(((next() >> 32) * n) >> 32); }
    bool percent(uint32_t p) { return below(100) < p; }

private:
    uint64_t state_;
};

constexpr std::string_view kSite = "http://www.example.org/";

constexpr std::array<std::string_view, 24> kFolderWords = {
    "about",     "products", "news",    "support",  "docs",    "people",  "research", "events",
    "archive",   "services", "images",  "projects", "press",   "library", "courses",  "downloads",
    "community", "jobs",     "history", "gallery",  "reports", "media",   "partners", "labs"};
constexpr std::array<std::string_view, 24> kPageWords = {
    "overview", "contact", "faq",      "team",   "pricing", "features", "intro",   "guide",
    "summary",  "details", "schedule", "notes",  "results", "map",      "links",   "staff",
    "policy",   "terms",   "status",   "agenda", "catalog", "welcome",  "install", "credits"};
constexpr std::array<std::string_view, 5> kOrphanWords = {"draft", "old", "test", "backup", "copy"};
constexpr std::array<std::string_view, 8> kExternalHosts = {
    "www.example.net",  "www.example.com",   "mirror.example.org", "news.example.net",
    "shop.example.com", "lists.example.org", "ftp.example.net",    "blog.example.com"};

// File types below a page: the kind-0 group name, how common it is, stems and extensions.
struct FileType {
    std::string_view group;
    uint32_t percent;
    std::array<std::string_view, 4> stems;
    std::array<std::string_view, 3> extensions;
    uint32_t stemCount, extensionCount;
};
constexpr std::array<FileType, 8> kFileTypes = {{
    {"image", 60, {"photo", "icon", "banner", "chart"}, {".gif", ".jpg", ".png"}, 4, 3},
    {"text", 12, {"readme", "notes", "changes", "list"}, {".txt"}, 4, 1},
    {"application", 9, {"manual", "report", "slides", "archive"}, {".pdf", ".zip", ".doc"}, 4, 3},
    {"audio", 4, {"clip", "interview", "theme"}, {".mp3", ".wav"}, 3, 2},
    {"video", 4, {"demo", "tour", "lecture"}, {".mpg", ".mov"}, 3, 2},
    {"other", 6, {"data", "misc", "blob"}, {".dat", ".bin"}, 3, 2},
    {"source", 4, {"main", "util", "example"}, {".c", ".java"}, 3, 2},
    {"vrml", 1, {"scene", "model"}, {".wrl"}, 2, 1},
}};
constexpr uint8_t kImage = 0;
constexpr uint8_t kText = 1;
constexpr uint8_t kHtml = 0xFF;  // orphan pages: not one of the file types

// Site-wide files of the root folder that many pages link to.
struct SharedFile {
    std::string_view name;
    uint8_t type;
};
constexpr std::array<SharedFile, 3> kSharedFiles = {
    {{"logo.gif", kImage}, {"spacer.gif", kImage}, {"style.txt", kText}}};

inline void appendNumber(std::string& out, uint64_t v) {
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, result.ptr);
}

// A word from a list, made unique among up to n siblings by the ordinal.
inline void appendWord(std::string& out, std::string_view word, uint32_t ordinal, size_t listSize) {
    out += word;
    if (ordinal >= listSize) appendNumber(out, ordinal / listSize);
}

// The home view: the tree seen turned half a radian about the vertical axis.
inline void appendHomePosition(std::string& out) {
    const double c = std::cos(0.5), s = std::sin(0.5);
    const double m[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
    out += "-99 position";
    for (double v : m) {
        char text[32];
        std::snprintf(text, sizeof text, " %.17g", v);
        out += text;
    }
    out += '\n';
}

}  // namespace orvo::site
