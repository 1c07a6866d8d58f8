// Edge lists, DOT, GraphML, sitemaps and directory trees imported from real files and read back
// with the real graph reader: the node set, the tree, the non-tree links and the groups; and
// malformed inputs of each, refused with the file and the line named.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "import/import.h"
#include "tests/graph_test_support.h"
#include "tests/import_test_support.h"

namespace orvo {
namespace {

using testing::TempDir;
using testing::writeWholeFile;
using Parents = std::map<std::string, std::string>;
using Links = std::set<std::pair<std::string, std::string>>;

struct Imported {
    ImportResult result;
    std::string text;
};

Imported importFile(const std::string& path, const ImportOptions& options = {},
                    std::optional<ImportFormat> format = std::nullopt) {
    Imported i;
    std::ostringstream out;
    i.result = importGraph(path, format.value_or(guessImportFormat(path)), options, out);
    i.text = out.str();
    return i;
}

// Read without moves (the tree exactly as written), and checked again with the viewer's move
// rules: every node and every link still there once.
test::ReadBack readBack(const std::string& text) {
    ViewerSettings settings;
    Graph g(settings);
    EXPECT_TRUE(testing::readText(g, text));
    test::ReadBack back(g);
    ViewerSettings viewer;
    applyWindowInitialisation(viewer);
    Graph moved(viewer);
    EXPECT_TRUE(testing::readText(moved, text));
    EXPECT_EQ(moved.nodes.size(), g.nodes.size());
    EXPECT_EQ(moved.links.size(), g.links.size());
    return back;
}

std::map<std::string, std::string> groupsOf(const std::string& text) {
    ViewerSettings settings;
    Graph g(settings);
    testing::readText(g, text);
    std::map<std::string, std::string> groups;
    for (const Node* n : g.nodes) groups[std::string(n->id)] = std::string(g.groupOf(*n, 0));
    return groups;
}

TEST(ImportEdgeList, TreeLinksComponentsAndGroups) {
    TempDir dir;
    const std::string csv = dir.file("crawl.csv");
    // A header (its fields occur nowhere else), a duplicate, a self-loop, quoting with a comma,
    // a quote and a line break, a lone node, and a second component.
    writeWholeFile(csv,
                   "source,target,kind\r\n"
                   "hub,a,page\r\n"
                   "hub,b,page\r\n"
                   "hub,\"c, \"\"quoted\"\"\nid\",page\r\n"
                   "a,b,page\r\n"
                   "a,b,dup\r\n"
                   "b,b,self\r\n"
                   "b,hub,page\r\n"
                   "x,y,island\r\n"
                   "lone\r\n");
    ImportOptions options;
    options.group = "kind";
    const Imported i = importFile(csv, options);
    ASSERT_TRUE(i.result.ok) << i.result.error;
    const auto back = readBack(i.text);
    const std::string c = "c,%20\"quoted\"%0Aid";
    EXPECT_EQ(back.parents, (Parents{{"hub", ""},
                                     {"a", "hub"},
                                     {"b", "hub"},
                                     {c, "hub"},
                                     {"x", "hub"},
                                     {"y", "x"},
                                     {"lone", "hub"}}));
    EXPECT_EQ(back.nonTree, (Links{{"a", "b"}, {"b", "hub"}}));
    const auto groups = groupsOf(i.text);
    EXPECT_EQ(groups.at("hub"), "page");
    EXPECT_EQ(groups.at("x"), "island");
    EXPECT_EQ(groups.at("y"), "");

    // --root, a column number for the group, and a first line that is data: "hub" occurs again.
    writeWholeFile(csv, "hub,a,1\nhub,b,2\na,b,3\nb,hub,4\n");
    options.group = "3";
    options.root = "b";
    const Imported j = importFile(csv, options);
    ASSERT_TRUE(j.result.ok) << j.result.error;
    const auto back2 = readBack(j.text);
    EXPECT_EQ(back2.parents, (Parents{{"b", ""}, {"hub", "b"}, {"a", "hub"}}));
    EXPECT_EQ(back2.nonTree, (Links{{"a", "b"}, {"hub", "b"}}));
    EXPECT_EQ(groupsOf(j.text).at("hub"), "1");  // a one-character group survives

    // --header yes drops the first line even though its ids occur again.
    options = {};
    options.header = "yes";
    const Imported k = importFile(csv, options);
    ASSERT_TRUE(k.result.ok);
    // hub, a and b have one outgoing edge each: hub, seen first, is the root; a is out of its
    // reach and starts the second component.
    EXPECT_EQ(readBack(k.text).parents, (Parents{{"hub", ""}, {"b", "hub"}, {"a", "hub"}}));

    // Tabs in a .tsv.
    const std::string tsv = dir.file("edges.tsv");
    writeWholeFile(tsv, "p\tq r\nq r\tp\n");
    const Imported t = importFile(tsv);
    ASSERT_TRUE(t.result.ok);
    EXPECT_EQ(readBack(t.text).parents, (Parents{{"p", ""}, {"q%20r", "p"}}));
}

// Many short ids that need encoding, one of them clashing with an id written that way already:
// every node keeps an id of its own (the clash check once read freed memory as its table grew).
TEST(ImportEdgeList, ManyEncodedIdsStayDistinct) {
    TempDir dir;
    const std::string csv = dir.file("spaces.csv");
    std::string edges = "root,n%200\n";
    for (int k = 0; k < 300; ++k) edges += "root,n " + std::to_string(k) + "\n";
    writeWholeFile(csv, edges);
    const Imported i = importFile(csv);
    ASSERT_TRUE(i.result.ok) << i.result.error;
    const auto parents = readBack(i.text).parents;
    EXPECT_EQ(parents.size(), 302u);
    EXPECT_EQ(parents.count("n%200"), 1u);
    EXPECT_EQ(parents.count("n%200%232"), 1u);
    EXPECT_EQ(parents.count("n%20299"), 1u);
    ASSERT_EQ(i.result.warnings.size(), 1u);
    EXPECT_NE(i.result.warnings[0].find("\"n%200%232\""), std::string::npos)
        << i.result.warnings[0];
}

// An edge list that comes through a pipe, which cannot tell its size, is read whole, as the
// same list in a file is (a file's text is read in one go into room made for it).
TEST(ImportEdgeList, AListFromAPipeIsReadWhole) {
    TempDir dir;
    std::string edges = "from,to\n";
    for (int k = 1; k < 20'000; ++k) {
        edges += "page" + std::to_string(k / 4) + ",page" + std::to_string(k) + "\n";
    }
    const std::string csv = dir.file("links.csv");
    writeWholeFile(csv, edges);
    const std::string fifo = dir.file("links.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { writeWholeFile(fifo, edges); });
    const Imported piped = importFile(fifo, {}, ImportFormat::Csv);
    writer.join();
    const Imported fromFile = importFile(csv);
    ASSERT_TRUE(piped.result.ok) << piped.result.error;
    ASSERT_TRUE(fromFile.result.ok) << fromFile.result.error;
    EXPECT_EQ(readBack(piped.text).parents.size(), 20'000u);
    EXPECT_TRUE(piped.text == fromFile.text);
}

TEST(ImportEdgeList, MalformedInputsNameFileAndLine) {
    TempDir dir;
    const std::string csv = dir.file("bad.csv");
    const auto failure = [&](const std::string& content, const ImportOptions& options = {}) {
        writeWholeFile(csv, content);
        const Imported i = importFile(csv, options);
        EXPECT_FALSE(i.result.ok) << content;
        return i.result.error;
    };
    EXPECT_EQ(failure("a,b\nb,c\nc,\"never closed\nd,e\n"),
              csv + ":3: a quoted field opened on this line is never closed");
    EXPECT_EQ(failure("a,b\n\"b\"x,c\n"), csv + ":2: text after the closing quote of a field");
    EXPECT_EQ(failure(""), csv + ": holds no node");
    ImportOptions options;
    options.group = "colour";
    EXPECT_NE(failure("a,b,kind\nb,c,x\n", options).find("--group colour"), std::string::npos);
    options = {};
    options.root = "nowhere";
    EXPECT_NE(failure("a,b\nb,c\n", options).find("--root nowhere"), std::string::npos);
}

TEST(ImportDot, DirectedAndUndirectedGraphs) {
    TempDir dir;
    const std::string dot = dir.file("g.dot");
    writeWholeFile(dot, R"(digraph site {
        node [shape=box];
        hub [kind=page]; a [kind=image];
        hub -> a; hub -> b; a -> b; b -> hub; b -> b; a -> b;
        subgraph cluster_x { x -> y; }
        "with space" [kind="two words"];
    })");
    ImportOptions options;
    options.group = "kind";
    const Imported i = importFile(dot, options);
    ASSERT_TRUE(i.result.ok) << i.result.error;
    const auto back = readBack(i.text);
    EXPECT_EQ(back.parents, (Parents{{"hub", ""},
                                     {"a", "hub"},
                                     {"b", "hub"},
                                     {"x", "hub"},
                                     {"y", "x"},
                                     {"with%20space", "hub"}}));
    EXPECT_EQ(back.nonTree, (Links{{"a", "b"}, {"b", "hub"}}));
    const auto groups = groupsOf(i.text);
    EXPECT_EQ(groups.at("a"), "image");
    EXPECT_EQ(groups.at("with%20space"), "two%20words");

    // Undirected: each edge walked both ways, one link each; duplicates either way dropped.
    const std::string gv = dir.file("u.gv");
    writeWholeFile(gv, "graph { a -- b; b -- a; b -- c; c -- a; d -- c }");
    const Imported u = importFile(gv);
    ASSERT_TRUE(u.result.ok) << u.result.error;
    const auto ub = readBack(u.text);
    EXPECT_EQ(ub.parents, (Parents{{"c", ""}, {"b", "c"}, {"a", "c"}, {"d", "c"}}));
    EXPECT_EQ(ub.nonTree, (Links{{"a", "b"}}));

    // A node named "" cannot be a record: it and its edges are left out, with a warning.
    writeWholeFile(dot, R"(digraph { "" -> a; a -> b; b -> ""; })");
    const Imported unnamed = importFile(dot);
    ASSERT_TRUE(unnamed.result.ok) << unnamed.result.error;
    EXPECT_EQ(readBack(unnamed.text).parents, (Parents{{"a", ""}, {"b", "a"}}));
    ASSERT_EQ(unnamed.result.warnings.size(), 1u);
    EXPECT_NE(unnamed.result.warnings[0].find("named \"\""), std::string::npos);

    writeWholeFile(dot, "digraph {\n a -> b;\n b -> ;\n}\n");
    const Imported bad = importFile(dot);
    EXPECT_FALSE(bad.result.ok);
    EXPECT_NE(bad.result.error.find(dot + ": "), std::string::npos) << bad.result.error;
    EXPECT_NE(bad.result.error.find("line 3"), std::string::npos) << bad.result.error;
}

TEST(ImportGraphMl, KeysDefaultsNestingAndErrors) {
    TempDir dir;
    const std::string file = dir.file("g.graphml");
    writeWholeFile(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
  <key id="d0" for="node" attr.name="kind" attr.type="string"><default>plain</default></key>
  <graph id="G" edgedefault="undirected">
    <node id="a"><data key="d0">hub</data></node>
    <node id="b"/><node id="c"/>
    <edge source="a" target="b"/><edge source="b" target="a"/>
    <edge source="b" target="c"/><edge source="c" target="a"/><edge source="c" target="c"/>
    <edge source="a" target="z" directed="true"/>
    <node id="n"><graph id="inner" edgedefault="directed">
      <node id="n::x"/><edge source="n::x" target="n"/></graph></node>
  </graph>
</graphml>)");
    ImportOptions options;
    options.group = "kind";
    const Imported i = importFile(file, options);
    ASSERT_TRUE(i.result.ok) << i.result.error;
    const auto back = readBack(i.text);
    // n and n::x are out of a's reach: n::x, with an outgoing edge, is their component's root.
    EXPECT_EQ(
        back.parents,
        (Parents{{"a", ""}, {"b", "a"}, {"c", "a"}, {"z", "a"}, {"n::x", "a"}, {"n", "n::x"}}));
    EXPECT_EQ(back.nonTree, (Links{{"b", "c"}}));
    const auto groups = groupsOf(i.text);
    EXPECT_EQ(groups.at("a"), "hub");
    EXPECT_EQ(groups.at("b"), "plain");

    // Empty ids cannot be records: such nodes and edges are left out, each with a warning.
    writeWholeFile(file,
                   "<graphml><graph><node id='1'/><node id='2'/>\n<node id=''/>\n"
                   "<edge source='1' target='2'/><edge source='2' target=''/></graph>"
                   "</graphml>");
    const Imported empty = importFile(file);
    ASSERT_TRUE(empty.result.ok) << empty.result.error;
    EXPECT_EQ(readBack(empty.text).parents, (Parents{{"1", ""}, {"2", "1"}}));
    EXPECT_EQ(
        empty.result.warnings,
        (std::vector<std::string>{file + ":2: <node> with an empty id, left out",
                                  file + ":3: <edge> with an empty source or target, left out"}));

    writeWholeFile(file,
                   "<graphml><graph>\n<node id=\"a\"/>\n<edge source=\"a\"/></graph></graphml>");
    Imported bad = importFile(file);
    EXPECT_EQ(bad.result.error, file + ":3: <edge> without a source or a target");
    writeWholeFile(file, "<graphml><graph>\n<node/></graph></graphml>");
    bad = importFile(file);
    EXPECT_EQ(bad.result.error, file + ":2: <node> without an id");
    writeWholeFile(file, "<graphml>\n<graph><node id='a'>\n</graph>");
    bad = importFile(file);
    EXPECT_FALSE(bad.result.ok);
    EXPECT_NE(bad.result.error.find(file + ":3: malformed XML"), std::string::npos)
        << bad.result.error;
    writeWholeFile(file, "<html/>");
    EXPECT_NE(importFile(file).result.error.find("not GraphML"), std::string::npos);
}

TEST(ImportSitemap, PathsAsTheTreeAndIndexes) {
    TempDir dir;
    const std::string index = dir.file("sitemap.xml");
    writeWholeFile(index, R"(<?xml version="1.0"?>
<sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">
  <sitemap><loc>https://example.com/pages.xml</loc></sitemap>
  <sitemap><loc>https://example.com/sitemap.xml</loc></sitemap>
  <sitemap><loc>https://example.com/..%2F..%2Fetc%2Fpasswd</loc></sitemap>
</sitemapindex>)");
    writeWholeFile(dir.file("pages.xml"),
                   R"(<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">
  <url><loc>https://example.com/docs/a/page.html</loc></url>
  <url><loc>https://EXAMPLE.com:443/docs/a/page.html#again</loc></url>
  <url><loc>https://example.com/docs/</loc></url>
  <url><loc>https://example.com/img/logo.png</loc></url>
  <url><loc>mailto:nobody@example.com</loc></url>
</urlset>)");
    const Imported i = importFile(index);
    ASSERT_TRUE(i.result.ok) << i.result.error;
    EXPECT_EQ(guessImportFormat(dir.file("pages.xml")), ImportFormat::Sitemap);
    const auto back = readBack(i.text);
    const std::string h = "https://example.com/";
    EXPECT_EQ(back.parents, (Parents{{h, ""},
                                     {h + "docs/", h},
                                     {h + "docs/a/", h + "docs/"},
                                     {h + "docs/a/page.html", h + "docs/a/"},
                                     {h + "img/", h},
                                     {h + "img/logo.png", h + "img/"}}));
    EXPECT_TRUE(back.nonTree.empty());
    EXPECT_EQ(groupsOf(i.text).at(h + "img/logo.png"), "image");
    EXPECT_FALSE(i.result.warnings.empty());  // the mailto and the file outside

    writeWholeFile(index, "<urlset>\n<url><loc>http://a/</loc>\n</urlset>");
    const Imported bad = importFile(index);
    EXPECT_NE(bad.result.error.find(index + ":3: malformed XML"), std::string::npos)
        << bad.result.error;
}

TEST(ImportDirectory, FoldersFilesAndLinks) {
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string top = dir.path() + "/tree";
    fs::create_directories(top + "/src/deep");
    fs::create_directories(top + "/docs");
    writeWholeFile(top + "/src/main.cpp", "");
    writeWholeFile(top + "/src/deep/pic.png", "");
    writeWholeFile(top + "/docs/read me.txt", "");
    writeWholeFile(dir.path() + "/outside.txt", "");
    fs::create_symlink("../src/main.cpp", top + "/docs/main-link");
    fs::create_symlink("..", top + "/docs/up");  // a loop, were it followed
    fs::create_symlink(dir.path() + "/outside.txt", top + "/docs/out");
    fs::create_symlink("missing", top + "/dangling");
    const Imported i = importFile(top);
    ASSERT_TRUE(i.result.ok) << i.result.error;
    EXPECT_EQ(guessImportFormat(top), ImportFormat::Dir);
    const auto back = readBack(i.text);
    const std::string t = "file://" + top;
    EXPECT_EQ(back.parents, (Parents{{t, ""},
                                     {t + "/docs", t},
                                     {t + "/docs/read%20me.txt", t + "/docs"},
                                     {t + "/docs/out", t + "/docs"},
                                     {t + "/src", t},
                                     {t + "/src/deep", t + "/src"},
                                     {t + "/src/deep/pic.png", t + "/src/deep"},
                                     {t + "/src/main.cpp", t + "/src"},
                                     {t + "/dangling", t}}));
    EXPECT_EQ(back.nonTree, (Links{{t + "/docs", t + "/src/main.cpp"}, {t + "/docs", t}}));
    const auto groups = groupsOf(i.text);
    EXPECT_EQ(groups.at(t + "/src"), "folder");
    EXPECT_EQ(groups.at(t + "/src/deep/pic.png"), "image");
    EXPECT_EQ(groups.at(t + "/src/main.cpp"), "source");
}

}  // namespace
}  // namespace orvo
