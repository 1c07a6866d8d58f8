// Format guessing and the dispatch to the readers.
#include "import/import.h"

#include <sys/stat.h>

#include <fstream>

#include "import/ascii_text.h"
#include "import/readers.h"
#include "import/url.h"

namespace orvo {

namespace {

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The local name of the document's first element, from the first few kilobytes: declarations,
// processing instructions and comments before it are skipped.
std::string rootElementName(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(16384, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    size_t i = 0;
    while ((i = head.find('<', i)) != std::string::npos) {
        if (head.compare(i, 4, "<!--") == 0) {
            i = head.find("-->", i);
            if (i == std::string::npos) return {};
            continue;
        }
        if (i + 1 < head.size() && (head[i + 1] == '?' || head[i + 1] == '!')) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < head.size() && head[end] != '>' && head[end] != '/' && head[end] != ' ' &&
               head[end] != '\t' && head[end] != '\n' && head[end] != '\r') {
            ++end;
        }
        std::string name = head.substr(i + 1, end - i - 1);
        if (const size_t colon = name.find(':'); colon != std::string::npos)
            name.erase(0, colon + 1);
        return name;
    }
    return {};
}

}  // namespace

ImportFormat guessImportFormat(const std::string& input) {
    const std::string lower = asciiLowered(input);
    if (isWebAddress(input)) return ImportFormat::Url;
    if (isDirectory(input)) {
        return isRegularFile(input + "/index.html") ? ImportFormat::Site : ImportFormat::Dir;
    }
    const size_t slash = lower.find_last_of('/');
    const std::string name = slash == std::string::npos ? lower : lower.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (name == "sitemap.xml") return ImportFormat::Sitemap;
    if (extension == "xml") {
        const std::string root = rootElementName(input);
        if (root == "urlset" || root == "sitemapindex") return ImportFormat::Sitemap;
    }
    if (extension == "csv" || extension == "tsv") return ImportFormat::Csv;
    if (extension == "dot" || extension == "gv") return ImportFormat::Dot;
    if (extension == "graphml") return ImportFormat::GraphMl;
    return ImportFormat::Outline;
}

std::optional<ImportFormat> importFormatFromName(std::string_view name) {
    if (name == "site") return ImportFormat::Site;
    if (name == "dir") return ImportFormat::Dir;
    if (name == "sitemap") return ImportFormat::Sitemap;
    if (name == "csv") return ImportFormat::Csv;
    if (name == "dot") return ImportFormat::Dot;
    if (name == "graphml") return ImportFormat::GraphMl;
    if (name == "outline") return ImportFormat::Outline;
    if (name == "url") return ImportFormat::Url;
    return std::nullopt;
}

std::string_view importFormatName(ImportFormat format) {
    switch (format) {
        case ImportFormat::Outline:
            return "outline";
        case ImportFormat::Site:
            return "site";
        case ImportFormat::Dir:
            return "dir";
        case ImportFormat::Sitemap:
            return "sitemap";
        case ImportFormat::Csv:
            return "csv";
        case ImportFormat::Dot:
            return "dot";
        case ImportFormat::GraphMl:
            return "graphml";
        case ImportFormat::Url:
            return "url";
    }
    return "outline";
}

ImportResult importGraph(const std::string& input, ImportFormat format,
                         const ImportOptions& options, std::ostream& out,
                         const ImportProgress& progress) {
    switch (format) {
        case ImportFormat::Site:
            return importSiteDirectory(input, options, out, progress);
        case ImportFormat::Sitemap:
            return importSitemap(input, options, out, progress);
        case ImportFormat::Dir:
            return importDirectoryTree(input, options, out, progress);
        case ImportFormat::Csv:
            return importEdgeList(input, options, out, progress);
        case ImportFormat::Dot:
            return importDot(input, options, out, progress);
        case ImportFormat::GraphMl:
            return importGraphMl(input, options, out, progress);
        case ImportFormat::Outline: {
            // Already the outline format: copied as it is.
            ImportResult result;
            std::ifstream in(input, std::ios::binary);
            if (!in) {
                result.error = input + ": cannot be opened";
                return result;
            }
            out << in.rdbuf();
            result.ok = static_cast<bool>(out);
            if (!result.ok) result.error = "could not write the output";
            return result;
        }
        case ImportFormat::Url:
            return importWebSite(input, options, out, progress);
    }
    return {};
}

}  // namespace orvo
