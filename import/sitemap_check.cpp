#include "import/sitemap_check.h"

#include <chrono>
#include <pugixml.hpp>
#include <unordered_set>

#include "import/content_kind.h"
#include "import/crawl_fetcher.h"
#include "import/file_text.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "stream/input_file.h"

namespace orvo {

bool sitemapAddresses(std::string_view xml, std::vector<std::string>& addresses,
                      std::string& error) {
    pugi::xml_document doc;
    if (const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size()); !parsed) {
        error = std::string("malformed XML: ") + parsed.description();
        return false;
    }
    const pugi::xml_node top = doc.document_element();
    if (localName(top.name()) != "urlset") {
        error = "not a sitemap's urlset (the root element is <" + std::string(top.name()) + ">)";
        return false;
    }
    for (const pugi::xml_node entry : top.children()) {
        if (localName(entry.name()) != "url") continue;
        for (const pugi::xml_node child : entry.children()) {
            if (localName(child.name()) != "loc") continue;
            if (auto url = normaliseUrl(child.text().as_string());
                url && isWebScheme(schemeOf(*url)))
                addresses.push_back(std::move(*url));
        }
    }
    return true;
}

bool loadSitemap(const std::string& fileOrUrl, const crawl::FetchOptions& fetch,
                 std::vector<std::string>& addresses, std::string& error) {
    std::string text;
    if (isWebAddress(fileOrUrl)) {
        crawl::Fetcher fetcher(fetch);
        if (!fetcher.ok()) {
            error = fetcher.setupError();
            return false;
        }
        fetcher.start({0, fileOrUrl, false});
        std::vector<crawl::FetchResult> done;
        while (done.empty() && fetcher.running() > 0)
            done = fetcher.poll(std::chrono::milliseconds(100));
        if (done.empty() || done[0].status < 200 || done[0].status >= 300 || done[0].tooLarge) {
            error = done.empty()          ? "no answer"
                    : done[0].status == 0 ? done[0].error
                                          : "HTTP " + std::to_string(done[0].status);
            return false;
        }
        text = std::move(done[0].body);
    } else {
        InputFile input;
        if (!input.open(fileOrUrl)) {
            error = input.error();
            return false;
        }
        text = readRest(input.stream());
    }
    return sitemapAddresses(text, addresses, error);
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

}  // namespace orvo
