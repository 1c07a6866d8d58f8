// Every import format (edge lists, DOT, GraphML, sitemaps, folders, site directories) imported
// from real files: the outline written and the warnings, byte for byte against a golden file of
// tests/data/import/expected; malformed inputs refused with the file and the line named.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>

#include "import/import.h"
#include "tests/import_test_support.h"

namespace orvo {
namespace {

ImportOptions options(std::string group, std::string root = "", std::string header = "auto") {
    ImportOptions o;
    o.group = std::move(group);
    o.root = std::move(root);
    o.header = std::move(header);
    return o;
}

// The golden files were written by the importers as they were when the case was added, and
// checked by hand against what the input holds.
TEST(ImportFormats, OutlinesMatchTheGoldenFiles) {
    const testing::ImportInputs inputs;
    ImportOptions site;
    site.orphans = true;
    ImportOptions startAndBase;
    startAndBase.start = "sub/index.html";
    startAndBase.baseUrl = "HTTPS://Docs.Example.org:443/manual";
    const struct {
        const char *golden, *input;
        ImportOptions options;
    } cases[] = {
        // A header, a duplicate, a self-loop, quoting, a lone node, a second component.
        {"edges_kinds", "crawl.csv", options("kind")},
        // A column number for the group, --root, a first line that is data.
        {"edges_root_and_column", "numbered.csv", options("3", "b")},
        {"edges_header_yes", "numbered.csv", options("", "", "yes")},
        {"edges_tabs", "edges.tsv", {}},
        // Ids that need encoding, one clashing with an id written that way already.
        {"edges_encoded_ids", "spaces.csv", {}},
        {"dot_directed", "site.dot", options("kind")},
        {"dot_undirected", "undirected.gv", {}},
        {"dot_unnamed_node", "unnamed.dot", {}},
        {"graphml", "site.graphml", options("kind")},
        {"graphml_empty_ids", "empty_ids.graphml", {}},
        // An index naming itself, a file outside and a page list; a mailto.
        {"sitemap", "sitemap/sitemap.xml", {}},
        {"folder", "tree", {}},
        // Links out of the site and to missing pages; a symlink out; orphans.
        {"site", "site", site},
        {"site_start_and_base", "site", startAndBase},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            inputs.outcome(c.input, c.options),
            testing::readWholeFile(testing::dataPath(std::string("import/expected/") + c.golden)))
            << c.golden;
    }
}

TEST(ImportFormats, MalformedInputsNameFileAndLine) {
    const testing::ImportInputs inputs;
    ImportOptions site;
    const struct {
        const char *name, *content;
        ImportOptions options;
        const char* error;
    } cases[] = {
        {"bad.csv",
         "a,b\nb,c\nc,\"never closed\nd,e\n",
         {},
         "$DIR/bad.csv:3: a quoted field opened on this line is never closed"},
        {"bad.csv",
         "a,b\n\"b\"x,c\n",
         {},
         "$DIR/bad.csv:2: text after the closing quote of a field"},
        {"bad.csv", "", {}, "$DIR/bad.csv: holds no node"},
        {"bad.csv", "a,b,kind\nb,c,x\n", options("colour"),
         "--group colour: no column of $DIR/bad.csv has this name in its first line"},
        {"bad.csv", "a,b\nb,c\n", options("", "nowhere"),
         "--root nowhere: no node of $DIR/bad.csv has this id"},
        {"bad.dot",
         "digraph {\n a -> b;\n b -> ;\n}\n",
         {},
         "$DIR/bad.dot: Error: syntax error in line 3 near ';'"},
        {"bad.graphml",
         "<graphml><graph>\n<node id=\"a\"/>\n<edge source=\"a\"/></graph></graphml>",
         {},
         "$DIR/bad.graphml:3: <edge> without a source or a target"},
        {"bad.graphml",
         "<graphml><graph>\n<node/></graph></graphml>",
         {},
         "$DIR/bad.graphml:2: <node> without an id"},
        {"bad.graphml",
         "<graphml>\n<graph><node id='a'>\n</graph>",
         {},
         "$DIR/bad.graphml:3: malformed XML: Start-end tags mismatch"},
        {"bad.graphml",
         "<html/>",
         {},
         "$DIR/bad.graphml: not GraphML (the root element is <html>)"},
        {"sitemap.xml",
         "<urlset>\n<url><loc>http://a/</loc>\n</urlset>",
         {},
         "$DIR/sitemap.xml:3: malformed XML: Start-end tags mismatch"},
    };
    for (const auto& c : cases) {
        testing::writeWholeFile(inputs.path(c.name), c.content);
        EXPECT_EQ(inputs.outcome(c.name, c.options), std::string("# error: ") + c.error + "\n");
    }
    for (const char* start : {"../outside/secret.html", "escape.html", "nothing.html"}) {
        site.start = start;
        EXPECT_EQ(inputs.outcome("site", site), "# error: $DIR/site: no start page " +
                                                    std::string(start) + " inside the directory\n");
    }
    site.start.clear();
    site.baseUrl = "not a url";
    EXPECT_EQ(inputs.outcome("site", site),
              "# error: --base-url not a url: not an http, https or ftp address\n");
}

// An edge list that comes through a pipe, which cannot tell its size, is read whole, as the
// same list in a file is (a file's text is read in one go into room made for it).
TEST(ImportFormats, AnEdgeListFromAPipeIsReadWhole) {
    const testing::ImportInputs inputs;
    std::string edges = "from,to\n";
    for (int k = 1; k < 20'000; ++k) {
        edges += "page" + std::to_string(k / 4) + ",page" + std::to_string(k) + "\n";
    }
    testing::writeWholeFile(inputs.path("links.csv"), edges);
    const std::string fifo = inputs.path("links.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { testing::writeWholeFile(fifo, edges); });
    std::ostringstream piped;
    const ImportResult result = importGraph(fifo, ImportFormat::Csv, {}, piped);
    writer.join();
    ASSERT_TRUE(result.ok) << result.error;
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, piped.str()));
    EXPECT_EQ(g.nodes.size(), 20'000u);
    EXPECT_TRUE(piped.str() == inputs.outcome("links.csv"));
}

}  // namespace
}  // namespace orvo
