#include "crawl/sitemap_check.h"

#include <chrono>
#include <deque>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <unordered_set>
#include <utility>

#include "crawl/crawl_fetcher.h"
#include "import/ascii_text.h"
#include "import/content_kind.h"
#include "import/file_text.h"
#include "import/import.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

bool sitemapAddresses(std::string_view xml, std::vector<std::string>& addresses, std::string& error,
                      std::vector<std::string>* sitemaps) {
    pugi::xml_document doc;
    if (const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size()); !parsed) {
        error = std::string("malformed XML: ") + parsed.description();
        return false;
    }
    const pugi::xml_node top = doc.document_element();
    const std::string_view kind = localName(top.name());
    const bool index = kind == "sitemapindex" && sitemaps != nullptr;
    if (kind != "urlset" && !index) {
        error = "not a sitemap's urlset (the root element is <" + std::string(top.name()) + ">)";
        return false;
    }
    for (const pugi::xml_node entry : top.children()) {
        if (localName(entry.name()) != (index ? "sitemap" : "url")) continue;
        for (const pugi::xml_node child : entry.children()) {
            if (localName(child.name()) != "loc") continue;
            const std::string_view loc = trimAscii(child.text().as_string());
            auto url = normaliseUrl(loc);
            if (!url || !isWebScheme(schemeOf(*url))) continue;
            // A sitemap is asked for as written: its query may tell it from its neighbours.
            if (index)
                sitemaps->emplace_back(loc);
            else
                addresses.push_back(std::move(*url));
        }
    }
    return true;
}

namespace {

std::string originOf(const std::string& url) {
    const UrlParts u = splitUrl(url);
    return u.scheme + "://" + u.host + (u.port.empty() ? "" : ":" + u.port);
}

bool fetchSitemap(crawl::Fetcher& fetcher, const std::string& url, std::string& text,
                  std::string& error) {
    fetcher.start({0, url, false});
    std::vector<crawl::FetchResult> done;
    while (done.empty() && fetcher.running() > 0)
        done = fetcher.poll(std::chrono::milliseconds(100));
    if (done.empty() || done[0].status < 200 || done[0].status >= 300 || done[0].tooLarge) {
        error = done.empty()          ? "no answer"
                : done[0].status == 0 ? done[0].error
                : done[0].tooLarge    ? std::string("too large")
                                      : "HTTP " + std::to_string(done[0].status);
        return false;
    }
    text = std::move(done[0].body);
    return true;
}

bool readSitemapFile(const std::string& path, std::string& text, std::string& error) {
    InputFile input;
    if (!input.open(path)) {
        error = input.error();
        return false;
    }
    text.clear();
    char chunk[1 << 16];
    while (text.size() <= kMaxSitemapFileBytes && input.stream()) {
        input.stream().read(chunk, sizeof chunk);
        text.append(chunk, static_cast<size_t>(input.stream().gcount()));
    }
    if (input.stream().bad()) {
        error = input.error();
        return false;
    }
    if (text.size() > kMaxSitemapFileBytes) {
        error = "larger than " + std::to_string(kMaxSitemapFileBytes) + " bytes";
        return false;
    }
    return true;
}

// Where a sitemap an index names is read: an address of the index's own site, or a file beside
// the index file named by the address's last segment (so an index cannot lead elsewhere).
// Empty when there is no such place.
std::string sitemapPlace(const std::string& listed, const std::string& site, bool web,
                         const std::string& folder) {
    if (web) return originOf(normaliseUrl(listed).value_or("")) == site ? listed : std::string();
    const std::string path = splitUrl(listed).path;
    const std::string name = percentDecode(path.substr(path.find_last_of('/') + 1));
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return {};
    return folder + "/" + name;
}

}  // namespace

bool loadSitemap(const std::string& fileOrUrl, const crawl::FetchOptions& fetch,
                 std::vector<std::string>& addresses, std::string& error,
                 std::vector<std::string>* notes) {
    const bool web = isWebAddress(fileOrUrl);
    std::optional<crawl::Fetcher> fetcher;
    if (web) {
        fetcher.emplace(fetch);
        if (!fetcher->ok()) {
            error = fetcher->setupError();
            return false;
        }
    }
    const std::string site = web ? originOf(normaliseUrl(fileOrUrl).value_or(fileOrUrl)) : "";
    const size_t slash = fileOrUrl.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : fileOrUrl.substr(0, slash);
    const auto note = [notes](std::string line) {
        if (notes != nullptr) notes->push_back(std::move(line));
    };
    // An index names further sitemaps, and those may be indexes again: they are read breadth
    // first from a queue, each place once, so that neither a loop nor a deep chain can hold the
    // reader.
    std::deque<std::string> pending{fileOrUrl};
    std::set<std::string> seen{fileOrUrl};
    bool capped = false;
    for (bool first = true; !pending.empty(); first = false) {
        const std::string place = std::move(pending.front());
        pending.pop_front();
        std::string text, why;
        std::vector<std::string> sitemaps;
        const bool read =
            web ? fetchSitemap(*fetcher, place, text, why) : readSitemapFile(place, text, why);
        if (!read || !sitemapAddresses(text, addresses, why, &sitemaps)) {
            if (first) {
                error = why;
                return false;
            }
            note("sitemap " + place + ": " + why + "; its pages are left out");
            continue;
        }
        for (const std::string& listed : sitemaps) {
            const std::string next = sitemapPlace(listed, site, web, folder);
            if (next.empty()) {
                note("sitemap " + place + ": the sitemap " + listed + " is " +
                     (web ? "on another site" : "named by no file name") + ", left out");
            } else if (seen.size() >= kMaxSitemaps) {
                if (!std::exchange(capped, true))
                    note("sitemap " + fileOrUrl + ": more than " + std::to_string(kMaxSitemaps) +
                         " sitemaps; the others are left out");
            } else if (seen.insert(next).second) {
                pending.push_back(next);
            }
        }
    }
    return true;
}

void checkAgainstSitemap(SiteGraph& graph, const std::vector<std::string>& listed) {
    if (graph.root() == SiteGraph::kNone) return;
    const std::unordered_set<std::string_view> inSitemap(listed.begin(), listed.end());
    const size_t before = graph.size();
    for (size_t n = 0; n < before; ++n) {
        const auto i = static_cast<SiteGraph::Index>(n);
        if (graph.inTree(i) && graph.group(i, 1) == "ok" && graph.group(i, 0) == "html" &&
            !inSitemap.contains(graph.id(i))) {
            graph.setGroup(i, 1, "unlisted");
        }
    }
    for (const std::string& url : listed) {
        bool created = false;
        const SiteGraph::Index n = graph.intern(url, &created);
        if (graph.inTree(n)) continue;
        graph.attach(graph.root(), n);
        graph.setGroup(n, 0, contentKindFromName(splitUrl(url).path));
        graph.setGroup(n, 1, "orphan");
    }
}

void checkSiteAgainstSitemap(SiteGraph& graph, const std::string& fileOrUrl,
                             const std::string& base, ImportResult& result) {
    std::vector<std::string> listed, ours;
    std::string error;
    std::vector<std::string> notes;
    const bool read = loadSitemap(fileOrUrl, {}, listed, error, &notes);
    for (const std::string& line : notes) addWarning(result, line);
    if (!read) {
        addWarning(result, "sitemap " + fileOrUrl + ": " + error +
                               "; the pages are not checked against it");
        return;
    }
    // A folder's address is its index.html here, as for a reference.
    for (std::string& url : listed)
        if (isUnder(url, base)) ours.push_back(url.ends_with('/') ? url + "index.html" : url);
    if (ours.empty())
        addWarning(result, "sitemap " + fileOrUrl + ": lists no address under " + base);
    else
        checkAgainstSitemap(graph, ours);
}

}  // namespace orvo
