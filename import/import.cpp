// Format guessing and the dispatch to the readers.
#include "import/import.h"

#include <sys/stat.h>

#include <cctype>
#include <fstream>
#include <string_view>
#include <vector>

#include "import/ascii_text.h"
#include "import/readers.h"
#include "import/url.h"
#include "memory/regular_file.h"
#include "stream/input_file.h"

namespace orvo {

namespace {

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The first few kilobytes of a file (decompressed): enough to tell its format.
std::string fileHead(const std::string& path) {
    InputFile input;
    if (!input.open(path)) return {};
    std::string head(16384, '\0');
    input.stream().read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(input.stream().gcount()));
    return head;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

size_t skipBlanksAndByteOrderMark(std::string_view head) {
    size_t i = head.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (i < head.size() && isBlank(head[i])) ++i;
    return i;
}

// The local name of the document's first element: declarations, processing instructions and
// comments before it are skipped. Empty when the text does not start as XML.
std::string rootElementName(std::string_view head) {
    size_t i = skipBlanksAndByteOrderMark(head);
    if (i >= head.size() || head[i] != '<') return {};
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
        while (end < head.size() && head[end] != '>' && head[end] != '/' && !isBlank(head[end])) {
            ++end;
        }
        std::string name(head.substr(i + 1, end - i - 1));
        if (const size_t colon = name.find(':'); colon != std::string::npos)
            name.erase(0, colon + 1);
        return name;
    }
    return {};
}

// DOT starts with "graph", "digraph" or "strict" (in any case), after blanks and comments.
bool looksLikeDot(std::string_view head) {
    size_t i = skipBlanksAndByteOrderMark(head);
    while (i < head.size()) {
        if (head.substr(i).starts_with("//") || head[i] == '#') {
            i = head.find('\n', i);
        } else if (head.substr(i).starts_with("/*")) {
            i = head.find("*/", i);
            if (i != std::string_view::npos) i += 2;
        } else {
            break;
        }
        if (i == std::string_view::npos) return false;
        while (i < head.size() && isBlank(head[i])) ++i;
    }
    size_t end = i;
    while (end < head.size() && ((head[end] | 0x20) >= 'a' && (head[end] | 0x20) <= 'z')) ++end;
    const std::string word = asciiLowered(head.substr(i, end - i));
    return (word == "graph" || word == "digraph" || word == "strict") &&
           (end == head.size() || isBlank(head[end]) || head[end] == '{');
}

// A JSON graph: an object first, with one of the keys of a node-link graph near its start.
bool looksLikeJsonGraph(std::string_view head) {
    const size_t i = skipBlanksAndByteOrderMark(head);
    if (i >= head.size() || head[i] != '{') return false;
    for (const char* key : {"\"nodes\"", "\"links\"", "\"edges\"", "\"elements\""}) {
        if (head.find(key, i) != std::string_view::npos) return true;
    }
    return false;
}

// GML: the first key, after blanks and '#' comments, is graph followed by '[' (a Creator or
// Version with its value may come before it). DOT may start with "graph" too, but never "graph [".
bool looksLikeGml(std::string_view head) {
    size_t i = skipBlanksAndByteOrderMark(head);
    const auto skipBlanksAndComments = [&] {
        while (i < head.size() && (isBlank(head[i]) || head[i] == '#')) {
            i = head[i] == '#' ? std::min(head.find('\n', i), head.size()) : i + 1;
        }
    };
    for (int keys = 0; keys < 3; ++keys) {
        skipBlanksAndComments();
        size_t end = i;
        while (end < head.size() && std::isalnum(static_cast<unsigned char>(head[end]))) ++end;
        const std::string_view key = head.substr(i, end - i);
        i = end;
        skipBlanksAndComments();
        if (key == "graph") return i < head.size() && head[i] == '[';
        if ((key != "Creator" && key != "Version") || i >= head.size()) return false;
        if (head[i] == '"') {
            i = head.find('"', i + 1);
            if (i == std::string_view::npos) return false;
            ++i;
        } else {
            while (i < head.size() && !isBlank(head[i])) ++i;
        }
    }
    return false;
}

// Pajek: the first line that is neither blank nor a '%' comment starts with *Vertices or
// *Network, in any case.
bool looksLikePajek(std::string_view head) {
    size_t i = skipBlanksAndByteOrderMark(head);
    while (i < head.size() && head[i] == '%') {
        i = std::min(head.find('\n', i), head.size());
        while (i < head.size() && isBlank(head[i])) ++i;
    }
    const std::string word = asciiLowered(head.substr(i, 9));
    return word.starts_with("*vertices") || word.starts_with("*network");
}

// The first line of text that is not blank.
std::string_view firstLine(std::string_view head) {
    const size_t start = skipBlanksAndByteOrderMark(head);
    const size_t end = head.find('\n', start);
    return head.substr(start, end == std::string_view::npos ? head.size() - start : end - start);
}

// An outline record: a level (digits, perhaps signed), one space, then an id.
bool looksLikeOutline(std::string_view line) {
    size_t i = line.starts_with('-') ? 1 : 0;
    const size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    return i > digits && i + 1 < line.size() && line[i] == ' ' && !isBlank(line[i + 1]);
}

}  // namespace

ImportFormat guessImportFormat(const std::string& input) {
    if (isWebAddress(input)) return ImportFormat::Url;
    if (isDirectory(input)) {
        return isRegularFile(input + "/index.html") ? ImportFormat::Site : ImportFormat::Dir;
    }
    // A compressed file is told by what it holds and the name it has without the compression's
    // extension.
    const std::string lower = asciiLowered(withoutCompressionExtension(input));
    const size_t slash = lower.find_last_of('/');
    const std::string name = slash == std::string::npos ? lower : lower.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);

    // What the content says for sure comes first, whatever the name (a pipe is not read ahead:
    // what it gives cannot be given again)...
    const std::string head = isRegularFile(input) ? fileHead(input) : std::string();
    const std::string root = rootElementName(head);
    if (root == "urlset" || root == "sitemapindex") return ImportFormat::Sitemap;
    if (root == "graphml") return ImportFormat::GraphMl;
    if (looksLikeGml(head)) return ImportFormat::Gml;
    if (looksLikePajek(head)) return ImportFormat::Pajek;
    if (looksLikeDot(head)) return ImportFormat::Dot;
    if (root == "gexf") return ImportFormat::Gexf;
    if (looksLikeJsonGraph(head)) return ImportFormat::Json;
    // ... then the name, for text that several formats could hold ...
    if (name == "sitemap.xml") return ImportFormat::Sitemap;
    if (extension == "csv" || extension == "tsv") return ImportFormat::Csv;
    if (extension == "dot" || extension == "gv") return ImportFormat::Dot;
    if (extension == "graphml") return ImportFormat::GraphMl;
    if (extension == "gml") return ImportFormat::Gml;
    if (extension == "net" || extension == "paj") return ImportFormat::Pajek;
    if (extension == "graph") return ImportFormat::Outline;
    if (extension == "gexf") return ImportFormat::Gexf;
    if (extension == "json") return ImportFormat::Json;
    // ... and for any other name the look of the first line.
    const std::string_view line = firstLine(head);
    if (!looksLikeOutline(line) && line.find_first_of(",\t") != std::string_view::npos) {
        return ImportFormat::Csv;
    }
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
    if (name == "gexf") return ImportFormat::Gexf;
    if (name == "json") return ImportFormat::Json;
    if (name == "gml") return ImportFormat::Gml;
    if (name == "pajek") return ImportFormat::Pajek;
    return std::nullopt;
}

std::optional<WalkDirection> walkDirectionFromName(std::string_view name) {
    if (name == "out") return WalkDirection::Out;
    if (name == "in") return WalkDirection::In;
    if (name == "both") return WalkDirection::Both;
    if (name == "auto") return WalkDirection::Auto;
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
        case ImportFormat::Gexf:
            return "gexf";
        case ImportFormat::Json:
            return "json";
        case ImportFormat::Gml:
            return "gml";
        case ImportFormat::Pajek:
            return "pajek";
    }
    return "outline";
}

ImportResult importFromFiles(const std::string& input, ImportFormat format,
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
            // Already the outline format: copied as it is (decompressed).
            ImportResult result;
            InputFile file;
            if (!file.open(input)) {
                result.error = input + ": " + file.error();
                return result;
            }
            std::istream& in = file.stream();
            std::vector<char> buffer(1 << 16);
            while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
                   in.gcount() > 0) {
                out.write(buffer.data(), in.gcount());
            }
            if (in.bad()) {
                result.error = input + ": " + file.error();
                return result;
            }
            result.ok = static_cast<bool>(out);
            if (!result.ok) result.error = "could not write the output";
            return result;
        }
        case ImportFormat::Url: {
            ImportResult result;
            result.error = input + ": a web address is crawled, not read from files";
            return result;
        }
        case ImportFormat::Gexf:
            return importGexf(input, options, out, progress);
        case ImportFormat::Json:
            return importJsonGraph(input, options, out, progress);
        case ImportFormat::Gml:
            return importGml(input, options, out, progress);
        case ImportFormat::Pajek:
            return importPajek(input, options, out, progress);
    }
    return {};
}

}  // namespace orvo
