// One round of an importer's fuzz target, shared with the test that replays the corpora and the
// saved crash inputs: the bytes are written as the input file (for a web site, as its start
// page beside a few files its references may reach), imported, and what comes out must be an
// outline the graph reader takes whole: levels that step down one at a time, ids without
// blanks, control characters or bytes that are not UTF-8, no record over the line limit, no
// position record, and a graph that reads back with every id once and sound invariants. What
// the import dialog offers for an edge list, a GraphML or a DOT file is read from it too.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "crawl/import_graph.h"
#include "graph/graph.h"
#include "import/html_references.h"
#include "import/import_choices.h"
#include "layout/layout.h"
#include "stream/outline_format.h"
#include "stream/outline_label.h"
#include "tests/graph_invariants.h"

namespace orvo {

/// The importers the fuzz targets drive.
enum class FuzzedImport { Html, Csv, Xml, Dot, Gexf, Json, Gml, Pajek };

namespace fuzzing {

/// A private folder for the inputs, removed when the process ends.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvo-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline const std::string& scratch() {
    static const ScratchFolder folder;
    return folder.path();
}

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

/// A web site whose start page is the input; its references may reach these files, a folder
/// with its own start page and one that has none.
inline std::string siteWithStartPage(std::string_view page) {
    const std::string site = scratch() + "/site";
    static const bool made = [&] {
        std::filesystem::create_directories(site + "/docs");
        std::filesystem::create_directories(site + "/empty");
        writeFile(site + "/a.html", "<a href=index.html>home</a><img src=\"docs/p%20q.png\">");
        writeFile(site + "/docs/index.html", "<a href=../a.html>up</a><a href=/x.css>s</a>");
        writeFile(site + "/docs/p q.png", "png");
        writeFile(site + "/x.css", "css");
        return true;
    }();
    (void)made;
    writeFile(site + "/index.html", page);
    return site;
}

inline bool isUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t length = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + length > s.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

/// Checks an importer's outline text and reads it back; empty when it is sound.
inline std::string checkOutline(const std::string& text) {
    if (text.empty()) return {};
    if (text.back() != '\n') return "the outline does not end with a line end";
    std::set<std::string> ids;
    size_t labels = 0;
    std::string top;
    long previousLevel = -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > kOutlineLineLimit)
            return "a record over the line limit: " + line.substr(0, 80);
        std::istringstream fields(line);
        long level = -1;
        std::string id, extra;
        if (line.starts_with(kLabelRecordStart)) {
            // "-99 label ID TEXT", of a node written before; TEXT one field of visible bytes.
            std::string kind, text, more;
            fields >> level >> kind >> id >> text;
            if (text.empty() || (fields >> more))
                return "a label record whose text is not one field: " + line;
            if (!ids.contains(id)) return "a label record of a node not written before: " + line;
            for (const char c : text) {
                if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || !isUtf8(text))
                    return "a label text with blanks, control bytes or no UTF-8: " + line;
            }
            ++labels;
            continue;
        }
        if (line.starts_with("-99 groups ")) {
            // "-99 groups KIND NAME": what the groups of a kind are; NAME one field of visible
            // bytes, as a label's text.
            std::string kind, text, more;
            long groupKind = -1;
            fields >> level >> kind >> groupKind >> text;
            if (groupKind < 0 || groupKind > 15 || text.empty() || (fields >> more))
                return "a groups record that is not a kind and one field: " + line;
            for (const char c : text) {
                if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || !isUtf8(text))
                    return "a groups name with blanks, control bytes or no UTF-8: " + line;
            }
            continue;
        }
        if (!(fields >> level >> id >> extra)) return "a record without its fields: " + line;
        if (level < 0) return "a negative level (or a position record): " + line;
        if (level > previousLevel + 1) return "a level that steps down more than one: " + line;
        previousLevel = level;
        // The top may be listed again (to go on below it), but there is only one.
        if (level == 0 && !ids.empty() && id != top) return "a second top: " + line;
        if (ids.empty()) top = id;
        for (const char c : id) {
            if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
                return "a blank or control character in an id: " + line;
            }
        }
        if (!isUtf8(id)) return "an id that is not UTF-8: " + line;
        ids.insert(id);
    }
    ViewerSettings settings;
    Graph g(settings);
    std::istringstream in(text);
    if (!readAndLayOut(g, in)) return "the outline reads back as no graph";
    if (g.readStats.skippedLines != 0) return "the reader skipped lines of the outline";
    if (g.nodes.size() != ids.size()) return "the graph read back does not hold every id once";
    for (const Node* n : g.nodes) labels -= g.labelOf(*n).empty() ? 0 : 1;
    if (labels != 0) return "the graph read back does not label a node for each label record";
    return checkGraphInvariants(g);
}

inline std::string importAndCheck(const std::string& input, ImportFormat format,
                                  const ImportOptions& options) {
    std::ostringstream out;
    const ImportResult result = importGraph(input, format, options, out);
    if (!result.ok) {
        if (result.error.empty()) return "a failed import without a message";
        return {};
    }
    const std::string problem = checkOutline(out.str());
    return problem.empty() ? problem : std::string(importFormatName(format)) + ": " + problem;
}

/// What the import dialog offers for the input, read as the importer reads it: a short preview,
/// and only groups with a value to choose.
inline std::string checkChoices(const std::string& input, ImportFormat format) {
    for (const char* header : {"auto", "no"}) {
        const ImportChoices choices = importChoices(input, format, header);
        if (choices.preview.size() > kPreviewLines) return "a preview over its line count";
        for (const GroupChoice& group : choices.groups) {
            if (group.value.empty() || group.label.empty()) return "a group choice left empty";
        }
    }
    return {};
}

inline std::string importAndCheckChoices(const std::string& input, ImportFormat format,
                                         const ImportOptions& options) {
    const std::string problem = checkChoices(input, format);
    return problem.empty() ? importAndCheck(input, format, options) : problem;
}

}  // namespace fuzzing

/// Empty when everything held; otherwise what broke.
inline std::string exerciseImport(FuzzedImport what, const uint8_t* data, size_t size) {
    using namespace fuzzing;
    if (scratch().empty()) return "no scratch folder";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ImportOptions options;
    std::string problem;
    switch (what) {
        case FuzzedImport::Html: {
            const HtmlReferences references = htmlReferences(bytes);
            if (references.tooDeep && !references.targets.empty()) {
                return "references of a page too deep to parse";
            }
            options.orphans = true;
            problem = importAndCheck(siteWithStartPage(bytes), ImportFormat::Site, options);
            break;
        }
        case FuzzedImport::Csv: {
            const std::string csv = scratch() + "/edges.csv";
            writeFile(csv, bytes);
            problem = importAndCheckChoices(csv, ImportFormat::Csv, options);
            if (!problem.empty()) break;
            // The same bytes as tab-separated, headed, with the third column as the group.
            const std::string tsv = scratch() + "/edges.tsv";
            writeFile(tsv, bytes);
            options.header = "yes";
            options.group = "3";
            problem = importAndCheck(tsv, ImportFormat::Csv, options);
            break;
        }
        case FuzzedImport::Xml: {
            // The same bytes as GraphML, as a sitemap and as a site's sitemap.
            const std::string graphml = scratch() + "/graph.graphml";
            writeFile(graphml, bytes);
            problem = importAndCheckChoices(graphml, ImportFormat::GraphMl, options);
            if (!problem.empty()) break;
            const std::string sitemap = scratch() + "/sitemap.xml";
            writeFile(sitemap, bytes);
            problem = importAndCheck(sitemap, ImportFormat::Sitemap, options);
            if (!problem.empty()) break;
            // And as the sitemap a site is checked against.
            options.sitemap = sitemap;
            problem = importAndCheck(siteWithStartPage("<a href='a.html'>a</a>"),
                                     ImportFormat::Site, options);
            break;
        }
        case FuzzedImport::Dot: {
            const std::string dot = scratch() + "/graph.dot";
            writeFile(dot, bytes);
            problem = importAndCheckChoices(dot, ImportFormat::Dot, options);
            break;
        }
        case FuzzedImport::Gexf:
        case FuzzedImport::Json: {
            // Groups found without --group, then none: both of the readers' node walks.
            const bool gexf = what == FuzzedImport::Gexf;
            const std::string file = scratch() + (gexf ? "/graph.gexf" : "/graph.json");
            writeFile(file, bytes);
            const ImportFormat format = gexf ? ImportFormat::Gexf : ImportFormat::Json;
            problem = importAndCheck(file, format, options);
            options.group = "none";
            if (problem.empty()) problem = importAndCheck(file, format, options);
            break;
        }
        case FuzzedImport::Gml:
        case FuzzedImport::Pajek: {
            // As it comes (groups found), then with the group named.
            const bool gml = what == FuzzedImport::Gml;
            const std::string file = scratch() + (gml ? "/graph.gml" : "/graph.net");
            const ImportFormat format = gml ? ImportFormat::Gml : ImportFormat::Pajek;
            writeFile(file, bytes);
            problem = importAndCheck(file, format, options);
            if (!problem.empty()) break;
            options.group = gml ? "kind" : "ic";
            problem = importAndCheck(file, format, options);
            break;
        }
    }
    return problem;
}

}  // namespace orvo
