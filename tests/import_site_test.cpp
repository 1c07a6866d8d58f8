// The shared pieces of the importers: addresses, content kinds, field encoding, the outline
// writer, HTML references and the site graph's outline, read back with the real graph reader.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "import/content_kind.h"
#include "import/html_references.h"
#include "import/outline_writer.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

TEST(ImportUrl, ResolvesReferencesAsBrowsersDo) {
    const std::string page = "http://Example.COM:80/docs/guide/page.html?x=1#top";
    const std::string g = "http://example.com/docs/guide/";
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"other.html", g + "other.html"},
        {"../img/a.png", "http://example.com/docs/img/a.png"},
        {"../../../../up.html", "http://example.com/up.html"},
        {"/root.html?q=2#f", "http://example.com/root.html"},
        {"#section", g + "page.html"},
        {"", g + "page.html"},
        {"//other.org/a", "http://other.org/a"},
        {"HTTPS://Other.org:443", "https://other.org/"},
        {"https://other.org:8443/x", "https://other.org:8443/x"},
        {"http://h:0080/x", "http://h/x"},  // leading zeros of a port go
        {"http://h:00/x", "http://h:0/x"},
        {"  sub/./x.html\n", g + "sub/x.html"},
        {"sub\\win.html", g + "sub/win.html"},
        // Unreserved escapes decode (%2E%2E is a real ".."), others stay, in upper case; bytes
        // that may not stand bare are encoded.
        {"%2e%2E/%7Euser/a%2fb c.html", "http://example.com/docs/~user/a%2Fb%20c.html"},
        {"caf\xC3\xA9.html", g + "caf%C3%A9.html"},
        {"mailto:someone@example.com", "mailto:someone@example.com"},
        {"http://", std::nullopt},
        {"http://host:port/", std::nullopt},
    };
    for (const auto& [reference, resolved] : cases) {
        EXPECT_EQ(resolveUrl(page, reference), resolved) << reference;
    }
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
    const std::pair<const char*, const char*> names[] = {
        {"a/b/Page.HTML", "html"},   {"dir/", "html"},
        {"x.png", "image"},          {"notes.txt", "text"},
        {"book.pdf", "application"}, {"song.mp3", "audio"},
        {"clip.webm", "video"},      {"main.cpp", "source"},
        {"README", "other"},         {".hidden", "other"}};
    for (const auto& [name, kind] : names) EXPECT_EQ(contentKindFromName(name), kind) << name;
    const std::pair<const char*, const char*> types[] = {
        {"text/html; charset=utf-8", "html"}, {" image/svg+xml", "image"},
        {"application/javascript", "source"}, {"application/json", "text"},
        {"application/pdf", "application"},   {"", "other"}};
    for (const auto& [type, kind] : types) EXPECT_EQ(contentKindFromType(type), kind) << type;
}

TEST(ImportFields, EncodingKeepsFieldsWholeAndDistinct) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain/id.html", "plain/id.html"},
        {"a b\tc\x01\x7F", "a%20b%09c%01%7F"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},                       // valid UTF-8 stays
        {"bad\xC3(\xFF\xED\xA0\x80", "bad%C3(%FF%ED%A0%80"},  // invalid, a surrogate
        {"\xC2\x85", "%C2%85"},                               // a C1 control
        {"100%", "100%25"},
        {"a%20b", "a%20b"},
    };
    for (const auto& [raw, encoded] : cases) EXPECT_EQ(encodeField(raw), encoded) << raw;
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
        const std::vector<std::string_view> rootGroups{"html", "main"}, oneChar{"x"}, gap{"", "k1"};
        EXPECT_TRUE(writer.write(0, "root id", rootGroups));
        EXPECT_TRUE(writer.write(1, "child", oneChar));  // one-character group at the end
        EXPECT_TRUE(writer.write(1, "gap", gap));
        EXPECT_FALSE(writer.write(1, std::string(1100, 'z'), rootGroups));
        EXPECT_TRUE(writer.write(1, "last\x01", {}));
        EXPECT_EQ(writer.recordsWritten(), 4u);
        EXPECT_EQ(writer.recordsLeftOut(), 1u);
    }
    EXPECT_EQ(tooLong.size(), 1u);
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(testing::readText(g, text.str()));
    EXPECT_EQ(g.summaryAndDump(),
              "0 root%20id 1  html main\n1 child 1  x\n1 gap 1  - k1\n1 last%01 1 \n");
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
    EXPECT_EQ(refs.targets,
              (std::vector<std::string>{"style.css", "app.js", "one.html", "pic.png", "frame.html",
                                        "two.html?a=1&b=2#x", "unclosed.html"}));

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

// A forward reference (to a node written later), a backward one, a repeated one, a
// self-reference and one to a tree child: the tree is the builder's, and every distinct further
// reference is one non-tree link.
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
    g.addFurtherReference(b, d);
    g.addReference(d, "a");
    g.setGroup(e, 0, "leaf group");
    std::ostringstream out;
    OutlineWriter writer(out);
    ImportResult result;
    ASSERT_TRUE(g.write(writer, {}, result));
    ViewerSettings settings;  // no moves: the written tree as it is
    Graph read(settings);
    ASSERT_TRUE(testing::readText(read, out.str()));
    EXPECT_EQ(read.summaryAndDump(),
              "0 a 1 \n1 b 1 \n2 d 1 \n3 a 0 \n2 e 0  leaf%20group\n1 c 1 \n2 e 1  leaf%20group\n"
              "3 b 0 \n");
}

}  // namespace
}  // namespace orvo
