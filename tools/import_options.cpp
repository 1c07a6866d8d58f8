#include "tools/import_options.h"

#include <filesystem>
#include <sstream>

#include "graph/graph.h"
#include "import/url.h"
#include "settings/viewer_settings.h"
#include "stream/input_file.h"
#include "tools/command_line.h"
#include "tools/crawl_options.h"

namespace orvo {

namespace {

constexpr int kExitFailure = 1;

// Whether the reader finds a node record in the first lines of the file (decompressed).
bool holdsNodeRecord(const std::string& path) {
    InputFile file;
    if (!file.open(path)) return true;  // the import says why it cannot be read
    std::string head(64 * 1024, '\0');
    file.stream().read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.stream().gcount()));
    ViewerSettings settings;
    Graph graph(settings);
    std::istringstream in(head);
    graph.reload(in);
    return !graph.empty();
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
    // A graph file is copied as it is (decompressed), which keeps everything it holds; any
    // other file the reader finds no node record in is of a format that cannot be told.
    if (plan.format == ImportFormat::Outline && !holdsNodeRecord(input)) {
        if (!line.format.empty()) {
            plan.status = kExitFailure;
            plan.error = input + ": holds no node record";
        } else {
            plan.status = kExitUsage;
            plan.error = input +
                         ": cannot tell its format; name one with --format "
                         "(site, dir, sitemap, csv, dot, graphml, gexf, json, gml, pajek or "
                         "outline)";
        }
    }
    return plan;
}

}  // namespace orvo
