// The shared pieces of the importers (addresses, field encoding, HTML references, the site
// graph's outline) and the site directory reader, checked by reading the written outline back
// with the real graph reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "import/content_kind.h"
#include "import/html_references.h"
#include "import/import.h"
#include "import/outline_writer.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "tests/graph_test_support.h"
#include "tests/import_test_support.h"

namespace orvo {
namespace {

using testing::TempDir;
using testing::writeWholeFile;

TEST(ImportUrl, ResolvesReferencesAsBrowsersDo) {
    const std::string page = "http://Example.COM:80/docs/guide/page.html?x=1#top";
    EXPECT_EQ(resolveUrl(page, "other.html").value(), "http://example.com/docs/guide/other.html");
    EXPECT_EQ(resolveUrl(page, "../img/a.png").value(), "http://example.com/docs/img/a.png");
    EXPECT_EQ(resolveUrl(page, "../../../../up.html").value(), "http://example.com/up.html");
    EXPECT_EQ(resolveUrl(page, "/root.html?q=2#f").value(), "http://example.com/root.html");
    EXPECT_EQ(resolveUrl(page, "#section").value(), "http://example.com/docs/guide/page.html");
    EXPECT_EQ(resolveUrl(page, "").value(), "http://example.com/docs/guide/page.html");
    EXPECT_EQ(resolveUrl(page, "//other.org/a").value(), "http://other.org/a");
    EXPECT_EQ(resolveUrl(page, "HTTPS://Other.org:443").value(), "https://other.org/");
    EXPECT_EQ(resolveUrl(page, "https://other.org:8443/x").value(), "https://other.org:8443/x");
    EXPECT_EQ(resolveUrl(page, "  sub/./x.html\n").value(),
              "http://example.com/docs/guide/sub/x.html");
    EXPECT_EQ(resolveUrl(page, "sub\\win.html").value(),
              "http://example.com/docs/guide/sub/win.html");
    // Escapes of unreserved characters decode (so %2E%2E is a real ".."), others stay in upper
    // case, and bytes that may not stand bare are encoded.
    EXPECT_EQ(resolveUrl(page, "%2e%2E/%7Euser/a%2fb c.html").value(),
              "http://example.com/docs/~user/a%2Fb%20c.html");
    EXPECT_EQ(resolveUrl(page, "caf\xC3\xA9.html").value(),
              "http://example.com/docs/guide/caf%C3%A9.html");
    EXPECT_EQ(resolveUrl(page, "mailto:someone@example.com").value(),
              "mailto:someone@example.com");
    EXPECT_FALSE(resolveUrl(page, "http://").has_value());
    EXPECT_FALSE(resolveUrl(page, "http://host:port/").has_value());
    EXPECT_FALSE(resolveUrl("relative/base.html", "x.html").has_value());

    EXPECT_EQ(removeDotSegments("/a/b/c/./../../g"), "/a/g");
    EXPECT_EQ(removeDotSegments("mid/content=5/../6"), "mid/6");
    EXPECT_EQ(removeDotSegments("/a/b/.."), "/a/");
    EXPECT_EQ(percentDecode("a%20b%zz%4"), "a b%zz%4");
    EXPECT_EQ(percentEncodePath("a b/%/\xFF"), "a%20b/%25/%FF");
    EXPECT_TRUE(isUnder("http://h/docs/a/b.html", "http://h/docs/index.html"));
    EXPECT_FALSE(isUnder("http://h/other/b.html", "http://h/docs/"));
    EXPECT_FALSE(isUnder("https://h/docs/b.html", "http://h/docs/"));
}

TEST(ImportContentKind, FromNamesAndTypes) {
    EXPECT_EQ(contentKindFromName("a/b/Page.HTML"), "html");
    EXPECT_EQ(contentKindFromName("dir/"), "html");
    EXPECT_EQ(contentKindFromName("x.png"), "image");
    EXPECT_EQ(contentKindFromName("notes.txt"), "text");
    EXPECT_EQ(contentKindFromName("book.pdf"), "application");
    EXPECT_EQ(contentKindFromName("song.mp3"), "audio");
    EXPECT_EQ(contentKindFromName("clip.webm"), "video");
    EXPECT_EQ(contentKindFromName("main.cpp"), "source");
    EXPECT_EQ(contentKindFromName("README"), "other");
    EXPECT_EQ(contentKindFromName(".hidden"), "other");
    EXPECT_EQ(contentKindFromType("text/html; charset=utf-8"), "html");
    EXPECT_EQ(contentKindFromType(" image/svg+xml"), "image");
    EXPECT_EQ(contentKindFromType("application/javascript"), "source");
    EXPECT_EQ(contentKindFromType("application/json"), "text");
    EXPECT_EQ(contentKindFromType("application/pdf"), "application");
    EXPECT_EQ(contentKindFromType(""), "other");
}

TEST(ImportFields, EncodingKeepsFieldsWholeAndDistinct) {
    EXPECT_EQ(encodeField("plain/id.html"), "plain/id.html");
    EXPECT_EQ(encodeField("a b\tc\x01\x7F"), "a%20b%09c%01%7F");
    EXPECT_EQ(encodeField("caf\xC3\xA9"), "caf\xC3\xA9");                // valid UTF-8 stays
    EXPECT_EQ(encodeField("bad\xC3(\xFF\xED\xA0\x80"), "bad%C3(%FF%ED%A0%80");  // invalid, surrogate
    EXPECT_EQ(encodeField("\xC2\x85"), "%C2%85");                         // a C1 control
    EXPECT_EQ(encodeField("100%"), "100%25");
    EXPECT_EQ(encodeField("a%20b"), "a%20b");
    EXPECT_EQ(encodeFieldStrictly("a%20b"), "a%2520b");
    for (const std::string raw : {"a b", "x\xFF y", "50% off", "tab\there"}) {
        EXPECT_EQ(encodeField(encodeField(raw)), encodeField(raw)) << raw;
        EXPECT_TRUE(fieldNeedsEncoding(raw));
        EXPECT_FALSE(fieldNeedsEncoding(encodeField(raw)));
    }
}

TEST(ImportFields, WriterRecordsReadBackWithTheirGroups) {
    std::ostringstream text;
    std::vector<std::string> tooLong;
    {
        OutlineWriter writer(text);
        writer.tooLong = [&](std::string_view id) { tooLong.emplace_back(id); };
        const std::vector<std::string_view> rootGroups{"html", "main"};
        EXPECT_TRUE(writer.write(0, "root id", rootGroups));
        const std::vector<std::string_view> oneChar{"x"};
        EXPECT_TRUE(writer.write(1, "child", oneChar));  // one-character group at the end
        const std::vector<std::string_view> gap{"", "k1"};
        EXPECT_TRUE(writer.write(1, "gap", gap));
        EXPECT_FALSE(writer.write(1, std::string(1100, 'z'), rootGroups));
        EXPECT_TRUE(writer.write(1, "last\x01", {}));
        EXPECT_EQ(writer.recordsWritten(), 4u);
        EXPECT_EQ(writer.recordsLeftOut(), 1u);
    }
    ASSERT_EQ(tooLong.size(), 1u);
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, text.str()));
    ASSERT_EQ(g.nodes.size(), 4u);
    const Node* root = g.findNode("root%20id");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(g.groupOf(*root, 0), "html");
    EXPECT_EQ(g.groupOf(*root, 1), "main");
    EXPECT_EQ(g.groupOf(*g.findNode("child"), 0), "x");
    EXPECT_EQ(g.groupOf(*g.findNode("gap"), 0), "-");
    EXPECT_EQ(g.groupOf(*g.findNode("gap"), 1), "k1");
    EXPECT_EQ(g.findNode("last%01")->parent, root);
}

TEST(ImportHtml, ReferencesInDocumentOrder) {
    const std::string page = R"html(<!doctype html><html><head>
        <base href="/docs/"><link rel=stylesheet href="style.css">
        <script src="app.js"></script></head><body>
        <p><a href="one.html">1</a> <img src="pic.png" alt=x>
        <a href="mailto:me@example.com">mail</a><a href="JavaScript:void(0)">js</a>
        <img src="data:image/png;base64,AAAA"><a name="anchor-only">no href</a>
        <iframe src="frame.html"></iframe><a href="two.html?a=1&amp;b=2#x">2</a>
        <!-- <a href="commented.html"> --><frameset><frame src="f.html"></frameset>
        <div><a href = "unclosed.html">)html";
    const HtmlReferences refs = htmlReferences(page);
    EXPECT_FALSE(refs.tooDeep);
    EXPECT_EQ(refs.base, "/docs/");
    const std::vector<std::string> expected{"style.css", "app.js", "one.html",
                                            "pic.png", "frame.html", "two.html?a=1&b=2#x",
                                            "unclosed.html"};
    EXPECT_EQ(refs.targets, expected);

    // Nesting that would keep the parser busy for minutes is refused quickly.
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<div>";
    deep += "<a href=deep.html>";
    EXPECT_GT(nestingDepthEstimate(deep), kMaxHtmlNesting);
    EXPECT_TRUE(htmlReferences(deep).tooDeep);
    // Thousands of list items and paragraphs, closed implicitly, are an ordinary page.
    std::string list = "<ul>";
    for (int i = 0; i < 5000; ++i) list += "<li><p>item <a href=i.html>i</a><br><img src=x.png>";
    EXPECT_LT(nestingDepthEstimate(list), 10u);
    EXPECT_EQ(htmlReferences(list).targets.size(), 10000u);
}

// A graph with a forward reference (to a node written later), a backward one, a repeated one,
// a self-reference and one to a tree child: read back without moves, the tree is the builder's
// tree and every distinct further reference is one non-tree link.
TEST(ImportSiteGraph, OutlineKeepsTheTreeAndEveryReference) {
    SiteGraph g;
    const auto a = g.intern("a");
    g.setRoot(a);
    const auto b = g.addReference(a, "b").node;
    const auto c = g.addReference(a, "c").node;
    const auto d = g.addReference(b, "d").node;
    const auto e = g.addReference(c, "e").node;
    g.addReference(b, "e");  // forward: e is written after b's subtree
    g.addReference(e, "b");  // backward
    g.addReference(e, "b");  // repeated
    g.addReference(d, "d");  // itself
    g.addFurtherReference(b, d);  // its own tree child
    g.addReference(d, "a");
    g.setGroup(e, 0, "leaf group");
    std::ostringstream out;
    OutlineWriter writer(out);
    ImportResult result;
    ASSERT_TRUE(g.write(writer, {}, result));

    ViewerSettings settings;  // loadFlags 1: no moves, the written tree as it is
    Graph read(settings);
    ASSERT_TRUE(testing::readText(read, out.str()));
    const test::ReadBack back(read);
    EXPECT_EQ(back.parents, (std::map<std::string, std::string>{
                                {"a", ""}, {"b", "a"}, {"c", "a"}, {"d", "b"}, {"e", "c"}}));
    EXPECT_EQ(back.nonTree, (std::set<std::pair<std::string, std::string>>{
                                {"b", "e"}, {"e", "b"}, {"d", "a"}}));
    EXPECT_EQ(read.groupOf(*read.findNode("e"), 0), "leaf%20group");
}

class SiteDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        site = dir.path() + "/site";
        fs::create_directories(site + "/sub");
        fs::create_directories(site + "/img");
        fs::create_directories(dir.path() + "/outside");
        writeWholeFile(site + "/index.html", R"(<html><body>
            <a href="a.html">A</a> <img src="img/logo.png">
            <a href="sub/">sub</a> <a href="http://other.example/page.html">ext</a>
            <a href="mailto:owner@example.com">mail</a> <a href="missing.html">gone</a>
            <a href="escape.html">out</a> <a href="a.html#again">A again</a>
            <a href="my%20page.html">spaced</a></body></html>)");
        writeWholeFile(site + "/a.html", R"(<a href="sub/deep.html">deep</a>
            <a href="index.html">home</a>)");
        writeWholeFile(site + "/sub/index.html", R"(<a href="../a.html">up</a>
            <a href="deep.html">deep</a><script src="../../outside/secret.js"></script>)");
        writeWholeFile(site + "/sub/deep.html", R"(<a href="/index.html">home</a>
            <img src="../img/logo.png">)");
        writeWholeFile(site + "/img/logo.png", "png");
        writeWholeFile(site + "/my page.html", "<p>no links</p>");
        writeWholeFile(site + "/orphan.html", "<a href=a.html>nobody links here</a>");
        writeWholeFile(dir.path() + "/outside/secret.html", "<a href=leak.html>x</a>");
        fs::create_symlink(dir.path() + "/outside/secret.html", site + "/escape.html");
    }

    TempDir dir;
    std::string site;
};

TEST_F(SiteDirectory, RoundTripThroughTheReader) {
    ImportOptions options;
    options.orphans = true;
    std::ostringstream out;
    const ImportResult result = importGraph(site, ImportFormat::Site, options, out);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(guessImportFormat(site), ImportFormat::Site);

    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, out.str()));
    const test::ReadBack back(g);
    const std::string b = "http://localhost/";
    EXPECT_EQ(back.parents, (std::map<std::string, std::string>{
                                {b + "index.html", ""},
                                {b + "a.html", b + "index.html"},
                                {b + "img/logo.png", b + "index.html"},
                                {b + "sub/index.html", b + "index.html"},
                                {"http://other.example/page.html", b + "index.html"},
                                {b + "missing.html", b + "index.html"},
                                {b + "escape.html", b + "index.html"},
                                {b + "my%20page.html", b + "index.html"},
                                {b + "orphan.html", b + "index.html"},
                                {b + "sub/deep.html", b + "a.html"},
                                // "../../outside" cannot climb above the site: a broken link.
                                {b + "outside/secret.js", b + "sub/index.html"},
                            }));
    EXPECT_EQ(back.nonTree, (std::set<std::pair<std::string, std::string>>{
                                {b + "a.html", b + "index.html"},
                                {b + "sub/index.html", b + "a.html"},
                                {b + "sub/index.html", b + "sub/deep.html"},
                                {b + "sub/deep.html", b + "index.html"},
                                {b + "sub/deep.html", b + "img/logo.png"},
                            }));
    const auto groups = [&](const std::string& id) {
        const Node* n = g.findNode(id);
        return n ? std::string(g.groupOf(*n, 0)) + "/" + std::string(g.groupOf(*n, 1)) : "none";
    };
    EXPECT_EQ(groups(b + "index.html"), "html/main");
    EXPECT_EQ(groups(b + "img/logo.png"), "image/main");
    EXPECT_EQ(groups("http://other.example/page.html"), "html/external");
    EXPECT_EQ(groups(b + "missing.html"), "html/missing");
    EXPECT_EQ(groups(b + "escape.html"), "html/external");  // a symlink out: kept, not read
    EXPECT_EQ(groups(b + "orphan.html"), "html/orphan");
    // Nothing of the file outside the directory was read.
    EXPECT_EQ(g.findNode(b + "leak.html"), nullptr);
    EXPECT_EQ(groups(b + "outside/secret.js"), "source/missing");

    // With the viewer's move rules the same file still holds every node and link once.
    ViewerSettings viewerSettings;
    applyWindowInitialisation(viewerSettings);
    Graph moved(viewerSettings);
    ASSERT_TRUE(testing::readText(moved, out.str()));
    EXPECT_EQ(moved.nodes.size(), back.parents.size());
    EXPECT_EQ(moved.links.size(), back.parents.size() - 1 + back.nonTree.size());
}

TEST_F(SiteDirectory, StartPageBaseUrlAndRefusals) {
    ImportOptions options;
    options.start = "sub/index.html";
    options.baseUrl = "HTTPS://Docs.Example.org:443/manual";
    std::ostringstream out;
    ImportResult result = importGraph(site, ImportFormat::Site, options, out);
    ASSERT_TRUE(result.ok) << result.error;
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, out.str()));
    EXPECT_EQ(g.root->id, "https://docs.example.org/manual/sub/index.html");
    EXPECT_NE(g.findNode("https://docs.example.org/manual/a.html"), nullptr);
    EXPECT_EQ(g.findNode("https://docs.example.org/manual/orphan.html"), nullptr);

    for (const std::string start : {"../outside/secret.html", "escape.html", "nothing.html"}) {
        options.start = start;
        std::ostringstream ignored;
        result = importGraph(site, ImportFormat::Site, options, ignored);
        EXPECT_FALSE(result.ok) << start;
        EXPECT_NE(result.error.find("no start page"), std::string::npos) << result.error;
    }
    options.start.clear();
    options.baseUrl = "not a url";
    std::ostringstream ignored;
    result = importGraph(site, ImportFormat::Site, options, ignored);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("--base-url"), std::string::npos);
}

}  // namespace
}  // namespace orvo
