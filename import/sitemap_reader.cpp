// Sitemaps: the listed addresses as a tree of their paths (host root, each folder, the page). A
// sitemap index names further sitemaps, read from the index's own directory (by file name only,
// so an index cannot lead the reader elsewhere); each is read once.
#include <algorithm>
#include <deque>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <set>

#include "import/content_kind.h"
#include "import/file_text.h"
#include "import/readers.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "import/warnings.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

class SitemapTree {
public:
    // Adds the address with every folder above it; the first host's root is the tree's root,
    // other hosts' roots hang under it.
    void add(const std::string& url) {
        const UrlParts parts = splitUrl(url);
        const size_t pathStart = url.size() - parts.path.size();
        const std::string hostRoot = url.substr(0, pathStart) + "/";
        SiteGraph::Index parent = node(hostRoot, true);
        if (graph.root() == SiteGraph::kNone) {
            graph.setRoot(parent);
        } else if (!graph.inTree(parent)) {
            graph.attach(graph.root(), parent);
        }
        // Each folder: the path up to and including each '/' after the first.
        for (size_t slash = parts.path.find('/', 1); slash != std::string::npos;
             slash = parts.path.find('/', slash + 1)) {
            const std::string folder = hostRoot + parts.path.substr(1, slash);
            const SiteGraph::Index f = node(folder, true);
            if (!graph.inTree(f)) graph.attach(parent, f);
            parent = f;
        }
        const SiteGraph::Index page = node(url, false);
        if (!graph.inTree(page)) graph.attach(parent, page);
        graph.setGroup(page, 1, "main");  // listed
    }

    SiteGraph graph;

private:
    SiteGraph::Index node(const std::string& id, bool folder) {
        bool created = false;
        const SiteGraph::Index n = graph.intern(id, &created);
        if (created) {
            graph.setGroup(n, 0, contentKindFromName(id));
            graph.setGroup(n, 1, folder ? "folder" : "main");
        }
        return n;
    }
};

}  // namespace

ImportResult importSitemap(const std::string& file, const ImportOptions& /*options*/,
                           std::ostream& out, const ImportProgress& progress) {
    ImportResult result;
    const size_t slash = file.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : file.substr(0, slash);
    SitemapTree tree;
    std::deque<std::string> pending{file};
    std::set<std::string> seen{file};
    uint64_t urls = 0;
    while (!pending.empty()) {
        const std::string path = pending.front();
        pending.pop_front();
        InputFile input;
        if (!input.open(path)) {
            if (path == file) {
                result.error = file + ": " + input.error();
                return result;
            }
            addWarning(result, path + ": listed in the sitemap index but " + input.error());
            continue;
        }
        const std::string text = readRest(input.stream());
        if (input.stream().bad()) {
            if (path == file) {
                result.error = file + ": " + input.error();
                return result;
            }
            addWarning(result, path + ": listed in the sitemap index but " + input.error());
            continue;
        }
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
        if (!parsed) {
            result.error = path + ":" + std::to_string(lineAt(text, parsed.offset)) +
                           ": malformed XML: " + parsed.description();
            return result;
        }
        const pugi::xml_node top = doc.document_element();
        const std::string_view kind = localName(top.name());
        if (kind != "urlset" && kind != "sitemapindex") {
            result.error =
                path + ": not a sitemap (the root element is <" + std::string(top.name()) + ">)";
            return result;
        }
        for (const pugi::xml_node entry : top.children()) {
            const std::string_view entryName = localName(entry.name());
            if (entryName != "url" && entryName != "sitemap") continue;
            std::string loc;
            for (const pugi::xml_node child : entry.children()) {
                if (localName(child.name()) == "loc") loc = child.text().as_string();
            }
            const std::string line =
                path + ":" + std::to_string(lineAt(text, entry.offset_debug())) + ": ";
            const auto url = normaliseUrl(loc);
            if (!url || !isWebScheme(schemeOf(*url))) {
                addWarning(result, line + "<loc> \"" + loc.substr(0, 200) +
                                       "\" is not a web address, left out");
                continue;
            }
            if (entryName == "sitemap") {
                const std::string name =
                    splitUrl(*url).path.substr(splitUrl(*url).path.find_last_of('/') + 1);
                const std::string listed = directory + "/" + percentDecode(name);
                if (name.empty() || percentDecode(name).find('/') != std::string::npos ||
                    percentDecode(name) == "..") {
                    addWarning(result, line + "sitemap " + *url + " names no file, left out");
                } else if (seen.insert(listed).second) {
                    pending.push_back(listed);
                }
                continue;
            }
            tree.add(*url);
            if (++urls % 65536 == 0) {
                progress(urls, 0, "reading");
                if (progress.cancelled()) {
                    result.cancelled = true;
                    return result;
                }
            }
        }
    }
    if (tree.graph.root() == SiteGraph::kNone) {
        result.error = file + ": lists no address";
        return result;
    }
    return writeAndFinishRead(tree.graph, out, progress, result);
}

}  // namespace orvo
