#include "tools/import_options.h"

#include <filesystem>
#include <optional>
#include <sstream>

#include "graph/graph.h"
#include "import/content_kind.h"
#include "import/url.h"
#include "settings/viewer_settings.h"
#include "stream/input_file.h"
#include "tools/command_line.h"
#include "tools/crawl_options.h"

namespace orvo {

namespace {

constexpr int kExitFailure = 1;

// The first bytes of a file (decompressed), enough to tell whether it holds a graph; nullopt
// when it cannot be opened (the import then says why).
std::optional<std::string> headOf(const std::string& path) {
    InputFile file;
    if (!file.open(path)) return std::nullopt;
    std::string head(64 * 1024, '\0');
    file.stream().read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.stream().gcount()));
    return head;
}

bool isEmptyDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error) &&
           std::filesystem::directory_iterator(path, error) ==
               std::filesystem::directory_iterator();
}

// Why a file is refused as no graph, naming what its first bytes say it is, or "": a binary
// file (NUL bytes) whatever its format, or a graph file most of whose lines are no record.
std::string noGraphReason(const std::string& input, ImportFormat format, std::string_view head,
                          const Graph& read) {
    ReadStats stats = read.readStats;
    stats.holdsNul = head.find('\0') != std::string_view::npos;
    if (!stats.holdsNul && (format != ImportFormat::Outline || read.empty())) return "";
    std::string reason = noGraphWarning(input, stats);
    if (reason.empty()) return "";
    if (const std::string_view kind = binaryKindFromBytes(head); !kind.empty())
        reason += " (it looks like " + std::string(kind) + ")";
    return reason + "; --force takes it anyway";
}

}  // namespace

void addImportOptions(CLI::App& app, ImportCommandLine& line) {
    ImportOptions& import = line.import;
    app.add_option("-f,--format", line.format, "Read the input as this format")
        ->check(CLI::IsMember({"site", "dir", "sitemap", "csv", "dot", "graphml", "gexf", "json",
                               "gml", "pajek", "outline"}));
    app.add_option("--start", import.start,
                   "Site: the start page, relative to the directory (default index.html)");
    app.add_option("--base-url", import.baseUrl,
                   "Site: the address the directory is served at (default http://localhost/)");
    app.add_flag("--orphans", import.orphans,
                 "Site: also hang files that nothing links to under the start page");
    app.add_option("--sitemap", import.sitemap,
                   "Site and crawl: check the pages against this sitemap (a file or an address): "
                   "the pages it lists that no link reaches hang under the root in the group "
                   "orphan, the pages it leaves out are unlisted (a crawl uses the site's own "
                   "/sitemap.xml without it)")
        ->type_name("FILE_OR_URL");
    app.add_option("--header", import.header,
                   "Edge lists: is the first line a header? (auto: when neither of its first two "
                   "fields is an id anywhere else)")
        ->check(CLI::IsMember({"yes", "no", "auto"}));
    app.add_option("--group", import.group,
                   "Edge lists, DOT, GraphML, GEXF, JSON, GML, Pajek: the node attribute (or "
                   "column name or number) "
                   "that gives the node's group (without it: a third column, or a node attribute, "
                   "of 2 to 64 values; none: no group)");
    app.add_option("--root", import.root,
                   "Edge lists, DOT, GraphML, GEXF, JSON, GML, Pajek: the id of the tree's root "
                   "(default: the node with "
                   "the most edges the walk follows)");
    app.add_option("--direction", line.direction,
                   "Edge lists, DOT, GraphML, GEXF, JSON, GML, Pajek: the tree follows the links "
                   "(out), goes against "
                   "them (in), both ways, or (auto, the default) whichever of out and in reaches "
                   "more nodes from its root; links keep their direction")
        ->check(CLI::IsMember({"out", "in", "both", "auto"}));
    app.add_flag("--force", line.force,
                 "Take a file that does not look like a graph (a binary file: an image, an "
                 "executable) or an empty directory all the same");
    addCrawlOptions(app, import.crawl);
}

std::string checkImportOptions(ImportCommandLine& line) {
    line.import.direction = *walkDirectionFromName(line.direction);  // checked by the parser
    if (line.import.baseUrl != "http://localhost/") {
        const auto base = normaliseUrl(line.import.baseUrl);
        if (!base || !isWebScheme(schemeOf(*base)))
            return "--base-url " + line.import.baseUrl + ": not an http, https or ftp address";
    }
    return "";
}

ImportPlan planImport(const std::string& input, ImportCommandLine& line) {
    ImportPlan plan;
    plan.error = checkImportOptions(line);
    if (!plan.error.empty()) {
        plan.status = kExitUsage;
        return plan;
    }
    std::error_code error;
    if (!isWebAddress(input) && !std::filesystem::exists(input, error)) {
        plan.status = kExitFailure;
        plan.error = input + ": no such file or directory";
        return plan;
    }
    plan.format = guessImportFormat(input);
    if (!line.format.empty()) plan.format = *importFormatFromName(line.format);
    const auto refuse = [&plan](int status, std::string why) {
        plan.status = status;
        plan.error = std::move(why);
        return plan;
    };
    if (isWebAddress(input)) return plan;
    if (isEmptyDirectory(input) && !line.force)
        return refuse(kExitFailure, input +
                                        ": is an empty directory: there is nothing to map "
                                        "(--force maps it as a single node)");
    if (!std::filesystem::is_regular_file(input, error)) return plan;
    const std::optional<std::string> read = headOf(input);
    if (!read) return plan;
    const std::string& head = *read;
    if (head.empty() && std::filesystem::file_size(input, error) == 0)
        return refuse(kExitFailure, input + ": is empty");
    ViewerSettings settings;
    Graph graph(settings);
    std::istringstream in(head);
    graph.reload(in);
    if (!line.force) {
        if (std::string why = noGraphReason(input, plan.format, head, graph); !why.empty())
            return refuse(kExitFailure, std::move(why));
    }
    // A graph file is copied as it is (decompressed), which keeps everything it holds; any
    // other file the reader finds no node record in is of a format that cannot be told.
    if (plan.format == ImportFormat::Outline && graph.empty()) {
        if (!line.format.empty()) return refuse(kExitFailure, input + ": holds no node record");
        return refuse(kExitUsage,
                      input +
                          ": cannot tell its format; name one with --format "
                          "(site, dir, sitemap, csv, dot, graphml, gexf, json, gml, pajek or "
                          "outline)");
    }
    return plan;
}

}  // namespace orvo
