// A web site on disk, read as a crawler would read it from a server: pages breadth-first from
// the start page, references resolved against each page, files found in the directory and never
// outside it.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include "import/content_kind.h"
#include "import/file_text.h"
#include "import/html_references.h"
#include "import/outline_writer.h"
#include "import/readers.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "import/warnings.h"

namespace orvo {

namespace {

namespace fs = std::filesystem;

std::string realPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) return {};
    return buffer;
}

// What a reference leads to.
struct Target {
    std::string id;
    std::string kind0;
    std::string kind1;  // "ok" (as a server would answer), "external" or "missing"
    std::string file;   // the file to parse, when it is a page to follow
};

class SiteReader {
public:
    SiteReader(const std::string& directory, std::string base, const ImportOptions& options,
               ImportResult& result)
        : directory_(directory), base_(std::move(base)), options_(options), result_(result) {
        rootReal_ = realPath(directory_);
        basePath_ = splitUrl(base_).path;
    }

    bool valid() const { return !rootReal_.empty(); }

    // The target of a site-relative path (decoded), or of an absolute address.
    Target local(std::string decoded) {
        Target t;
        bool inside = true;
        // Any "..", or "." component, or a zero byte cannot name a file of the site.
        size_t pos = 0;
        while (inside && pos <= decoded.size()) {
            const size_t slash = decoded.find('/', pos);
            const std::string_view part = std::string_view(decoded).substr(
                pos, slash == std::string::npos ? std::string::npos : slash - pos);
            if (part == ".." || part == ".") inside = false;
            if (slash == std::string::npos) break;
            pos = slash + 1;
        }
        if (decoded.find('\0') != std::string::npos) inside = false;
        if (decoded.empty() || decoded.back() == '/') decoded += "index.html";
        std::string file = directory_ + "/" + decoded;
        struct stat st {};
        if (inside && ::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            decoded += "/index.html";
            file += "/index.html";
        }
        t.id = base_ + percentEncodePath(decoded);
        t.kind0 = std::string(contentKindFromName(decoded));
        if (!inside) {
            t.kind1 = "missing";
            return t;
        }
        const std::string real = realPath(file);
        if (real.empty()) {
            t.kind1 = "missing";
        } else if (real != rootReal_ && !real.starts_with(rootReal_ + "/")) {
            t.kind1 = "external";  // a symbolic link out of the site: kept, never read
        } else {
            t.kind1 = "ok";
            t.file = real;
        }
        return t;
    }

    Target classify(const std::string& absolute) {
        const std::string scheme = schemeOf(absolute);
        if (isWebScheme(scheme) && isUnder(absolute, base_)) {
            const std::string path = splitUrl(absolute).path;
            return local(percentDecode(std::string_view(path).substr(basePath_.size())));
        }
        Target t;
        t.id = absolute;
        t.kind0 = std::string(
            contentKindFromName(isWebScheme(scheme) ? splitUrl(absolute).path : std::string("x")));
        t.kind1 = "external";
        return t;
    }

    bool run(SiteGraph& graph, const ImportProgress& progress) {
        const std::string start = options_.start.empty() ? "index.html" : options_.start;
        Target first = local(start);
        if (first.kind1 != "ok") {
            result_.error = directory_ + ": no start page " + start + " inside the directory";
            return false;
        }
        const SiteGraph::Index root = graph.intern(first.id);
        graph.setRoot(root);
        graph.setGroup(root, 0, first.kind0);
        graph.setGroup(root, 1, first.kind1);

        std::deque<std::pair<SiteGraph::Index, std::string>> queue;
        queue.emplace_back(root, first.file);
        uint64_t pagesRead = 0;
        while (!queue.empty()) {
            if (progress.cancelled()) {
                result_.cancelled = true;
                return false;
            }
            auto [page, file] = std::move(queue.front());
            queue.pop_front();
            readPage(graph, page, file);
            ++pagesRead;
            progress(pagesRead, pagesRead + queue.size(), "reading pages");
            for (auto& next : discovered_) queue.push_back(std::move(next));
            discovered_.clear();
        }
        if (options_.orphans) addOrphans(graph);
        return true;
    }

private:
    void readPage(SiteGraph& graph, SiteGraph::Index page, const std::string& file) {
        if (!isHtmlName(file) && !isHtmlName(std::string(graph.id(page)))) return;
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        if (!readFiles_.insert({st.st_dev, st.st_ino}).second) return;  // each file read once
        if (static_cast<uint64_t>(st.st_size) > options_.maxParseBytes) {
            addWarning(result_, file + ": larger than " +
                                    std::to_string(options_.maxParseBytes >> 20) +
                                    " MiB, not parsed");
            return;
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            addWarning(result_, file + ": cannot be read, skipped");
            return;
        }
        const std::string html = readRest(in);
        const HtmlReferences refs = htmlReferences(html);
        if (refs.tooDeep) {
            addWarning(result_, file + ": elements nested more than " +
                                    std::to_string(kMaxHtmlNesting) + " deep, not parsed");
            return;
        }
        std::string pageBase(graph.id(page));
        if (!refs.base.empty()) {
            if (auto resolved = resolveUrl(pageBase, refs.base)) pageBase = *resolved;
        }
        for (const std::string& reference : refs.targets) {
            const auto absolute = resolveUrl(pageBase, reference);
            if (!absolute) continue;
            Target t = classifyCached(graph, *absolute);
            const SiteGraph::Reference r = graph.addReference(page, t.id);
            if (!r.discovered) continue;
            graph.setGroup(r.node, 0, t.kind0);
            graph.setGroup(r.node, 1, t.kind1);
            if (!t.file.empty() && isHtmlName(t.id)) discovered_.emplace_back(r.node, t.file);
        }
    }

    // Known ids skip the file system: their groups are set already and they are not queued again.
    Target classifyCached(const SiteGraph& graph, const std::string& absolute) {
        if (graph.find(absolute) != SiteGraph::kNone) {
            Target t;
            t.id = absolute;
            return t;
        }
        return classify(absolute);
    }

    void addOrphans(SiteGraph& graph) {
        std::vector<std::string> files;
        std::error_code error;
        fs::recursive_directory_iterator it(directory_,
                                            fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (!name.empty() && name[0] == '.') {
                if (it->is_directory(error)) it.disable_recursion_pending();
                continue;
            }
            if (it->is_symlink(error) || !it->is_regular_file(error)) continue;
            files.push_back(fs::relative(it->path(), directory_, error).generic_string());
        }
        std::sort(files.begin(), files.end());
        for (const std::string& relative : files) {
            const std::string id = base_ + percentEncodePath(relative);
            bool created = false;
            const SiteGraph::Index n = graph.intern(id, &created);
            if (graph.inTree(n)) continue;
            graph.attach(graph.root(), n);
            graph.setGroup(n, 0, contentKindFromName(relative));
            graph.setGroup(n, 1, "orphan");
        }
    }

    std::string directory_;
    std::string base_;
    std::string basePath_;
    std::string rootReal_;
    const ImportOptions& options_;
    ImportResult& result_;
    std::set<std::pair<dev_t, ino_t>> readFiles_;
    std::vector<std::pair<SiteGraph::Index, std::string>> discovered_;
};

}  // namespace

bool readSiteDirectory(const std::string& directory, const ImportOptions& options, SiteGraph& graph,
                       std::string& base, const ImportProgress& progress, ImportResult& result) {
    auto normalised = normaliseUrl(options.baseUrl);
    if (!normalised || !isWebScheme(schemeOf(*normalised))) {
        result.error = "--base-url " + options.baseUrl + ": not an http, https or ftp address";
        return false;
    }
    base = std::move(*normalised);
    if (base.back() != '/') base += '/';
    std::string dir = directory;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    SiteReader reader(dir, base, options, result);
    if (!reader.valid()) {
        result.error = directory + ": " + std::strerror(errno);
        return false;
    }
    return reader.run(graph, progress);
}

ImportResult finishSiteDirectory(bool read, const SiteGraph& graph, std::ostream& out,
                                 const ImportProgress& progress, ImportResult& result) {
    if (read) {
        OutlineWriter writer(out);
        read = graph.write(writer, progress, result);
        if (!read) result.cancelled = progress.cancelled();
    }
    result.ok = read;
    finishWarnings(result);
    return result;
}

ImportResult importSiteDirectory(const std::string& directory, const ImportOptions& options,
                                 std::ostream& out, const ImportProgress& progress) {
    ImportResult result;
    SiteGraph graph;
    std::string base;
    const bool read = readSiteDirectory(directory, options, graph, base, progress, result);
    return finishSiteDirectory(read, graph, out, progress, result);
}

}  // namespace orvo
