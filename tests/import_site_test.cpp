// The shared pieces of the importers: the text helpers against tests/data/import/text_cases.txt;
// the outline writer, HTML references, the site graph's outline read back, sitemap indexes.
#include <gtest/gtest.h>

#include <clocale>
#include <sstream>
#include <string>
#include <vector>

#include "crawl/sitemap_check.h"
#include "graph/graph.h"
#include "import/ascii_text.h"
#include "import/content_kind.h"
#include "import/html_references.h"
#include "import/outline_writer.h"
#include "import/site_graph.h"
#include "import/url.h"
#include "tests/graph_test_support.h"
#include "tests/test_files.h"

namespace orvo {
namespace {

using namespace testing;

TEST(ImportText, HelpersAnswerAsTheirTableSays) {
    const std::string page = "http://Example.COM:80/docs/guide/page.html?x=1#top";
    const auto yes = [](bool b) { return std::string(b ? "yes" : "no"); };
    std::setlocale(LC_ALL, "C.UTF-8");  // its tolower maps bytes above 0x7F
    EXPECT_TRUE(answersMatch("import/text_cases.txt", [&](const std::string& question) {
        const Strings f = fields(question);
        const std::string& a = f.at(1);
        const std::string b = f.size() > 2 ? f[2] : "";
        if (f[0] == "resolve" || f[0] == "resolve from")
            return resolveUrl(b.empty() ? page : a, b.empty() ? a : b).value_or("(none)");
        if (f[0] == "dot segments") return removeDotSegments(a);
        if (f[0] == "decode") return percentDecode(a);
        if (f[0] == "encode path") return percentEncodePath(a);
        if (f[0] == "under") return yes(isUnder(a, b));
        if (f[0] == "kind of name") return std::string(contentKindFromName(a));
        if (f[0] == "kind of type") return std::string(contentKindFromType(a));
        if (f[0] == "kind of bytes") return std::string(binaryKindFromBytes(a));
        if (f[0] == "encode") return encodeField(a);
        if (f[0] == "encode strictly") return encodeFieldStrictly(a);
        if (f[0] == "needs encoding") return yes(fieldNeedsEncoding(a));
        if (f[0] == "lowered") return asciiLowered(a);
        if (f[0] == "trimmed") return std::string(trimAscii(a));
        if (f[0] == "starts") return yes(startsWithNoCase(a, b));
        if (f[0] == "web address") return yes(isWebAddress(a));
        return "no such helper " + f[0];
    }));
    std::setlocale(LC_ALL, "C");
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
    ASSERT_TRUE(readText(g, text.str()));
    EXPECT_EQ(g.summaryAndDump(),
              "0 root%20id 1  html main\n1 child 1  x\n1 gap 1  - k1\n1 last%01 1 \n");
}

TEST(ImportHtml, ReferencesInDocumentOrder) {
    const std::string page = readWholeFile(dataPath("import/references.html"));
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

// Forward, backward, repeated, self- and tree-child references: the tree is the builder's, and
// every distinct further reference is one non-tree link.
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
    ASSERT_TRUE(readText(read, out.str()));
    EXPECT_EQ(read.summaryAndDump(),
              "0 a 1 \n1 b 1 \n2 d 1 \n3 a 0 \n2 e 0  leaf%20group\n1 c 1 \n2 e 1  leaf%20group\n"
              "3 b 0 \n");
}

// Sitemap indexes on disk are followed breadth first to the files beside them they name: nested,
// looped, pointing out of the folder, or more than the reader takes.
TEST(ImportSitemap, AnIndexIsFollowedToItsFilesOnceEachAndNoFurtherThanTheCap) {
    TempDir dir;
    const auto urlset = [](const std::string& page) {
        return "<urlset><url><loc>https://x.invalid/" + page + "</loc></url></urlset>";
    };
    const auto index = [](std::vector<std::string> names) {
        std::string text = "<sitemapindex>";
        for (const std::string& n : names)
            text += "<sitemap><loc>https://x.invalid/" + n + "</loc></sitemap>";
        return text + "</sitemapindex>";
    };
    writeWholeFile(dir / "top.xml", index({"mid.xml", "top.xml", "..%2Fpasswd", "gone.xml"}));
    writeWholeFile(dir / "mid.xml", index({"leaf.xml", "top.xml"}));
    writeWholeFile(dir / "leaf.xml", urlset("leaf.html"));
    std::vector<std::string> many;
    for (size_t i = 0; i < kMaxSitemaps + 5; ++i) {
        many.push_back("s" + std::to_string(i) + ".xml");
        writeWholeFile(dir / many.back(), urlset(std::to_string(i) + ".html"));
    }
    writeWholeFile(dir / "many.xml", index(many));
    EXPECT_TRUE(answersMatch("import/sitemap_indexes.txt", [&](const std::string& file) {
        std::vector<std::string> addresses, notes;
        std::string error;
        if (!loadSitemap(dir.file(file), {}, addresses, error, &notes))
            notes.push_back("error: " + error);
        std::string told =
            std::to_string(addresses.size()) + " " + (addresses.empty() ? "" : addresses.front());
        for (const std::string& n : notes) told += " | " + n;
        return replaceAll(told, dir.path(), "DIR");
    }));
}

}  // namespace
}  // namespace orvo
