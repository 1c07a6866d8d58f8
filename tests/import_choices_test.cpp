// What the import dialog offers for a file (the header judged, the columns and node attributes
// that can group, the preview), and the chosen options reaching the import.
#include "import/import_choices.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

#include "import/import_converter.h"
#include "tests/test_files.h"

namespace orvo {
namespace {

// The header judged, the groups (label=value), the preview's line count and its first line.
std::string summary(const ImportChoices& c) {
    std::string s = c.headerFromHead ? "header? " : c.headerLine ? "header " : "data ";
    for (const GroupChoice& g : c.groups) s += "[" + g.label + "=" + g.value + "]";
    return s + " " + std::to_string(c.preview.size()) + ":" +
           (c.preview.empty() ? "" : c.preview[0].substr(0, 20)) + c.error;
}

TEST(ImportChoices, WhatEachFormatOffersAndTheConverterTakes) {
    // Past the head: the header judged on the head alone ("rom" is the first field less its
    // first byte).
    testing::TempDir dir;
    std::string big = "from,to,section\nrom,q,s\n";
    while (big.size() < kChoicesHeadBytes) big += "n" + std::to_string(big.size()) + ",m,s\n";
    testing::writeWholeFile(dir / "big.csv", big + "from,x,s\n");
    const std::string in = testing::dataPath("import/in/");
    using enum ImportFormat;
    const struct {
        std::string file;  // in tests/data/import/in unless a whole path
        ImportFormat format;
        std::string expected;
        const char* header = "auto";
    } cases[] = {
        {"crawl.csv", Csv, "header [kind=3] 11:source,target,kind"},
        {"crawl.csv.gz", Csv, "header [column 3=3] 11:source,target,kind", "no"},
        {"numbered.csv", Csv, "data [column 3=3] 4:hub,a,1"},
        {"numbered.csv", Csv, "data [1=3] 4:hub,a,1", "yes"},
        {"from_only.csv", Csv, "data  2:hub,a"},
        {"to_only.csv", Csv, "data  2:x,a"},
        {"blank_first.csv", Csv, "data  2:,a"},
        {dir.file("big.csv"), Csv, "header? [section=3] 20:from,to,section"},
        {"site-dot.xz", Dot, "data [shape=shape][kind=kind] 7:digraph site {"},
        // Statements without semicolons, defaults, edge attributes, ports and a comment: only
        // node attributes are offered.
        {"choices.gv", Dot,
         "data [kind=kind][two words=two words][shape=shape][size=size] 5:digraph { rankdir=LR"},
        {"site.graphml.bz2", GraphMl, "data [kind=kind] 13:<?xml version=\"1.0\" "},
        // GEXF: the node class's attributes, not the edge class's.
        {"site.gexf.gz", Gexf, "data [name=name][kind=kind] 20:<?xml version=\"1.0\" "},
        {"choices.graphml", GraphMl, "data [k1=k1][a & b=a & b] 3:<g:graphml xmlns:g=\""},
        // One huge line of NUL bytes: a line cut at the preview's size, and no record to judge;
        // a directory is not read.
        {"zeros.csv.bz2", Csv, "data  1:\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\xEF\xBF"},
        {"site", Csv, "data  0:"},
    };
    for (const auto& c : cases) {
        const std::string file = c.file.starts_with('/') ? c.file : in + c.file;
        EXPECT_EQ(summary(importChoices(file, c.format, c.header)), c.expected) << file;
    }
    EXPECT_EQ(importChoices(in + "zeros.csv.bz2", Csv).preview[0].size(), 3 * kPreviewBytes);
    EXPECT_EQ(importChoices(in + "many.csv", Csv).groups.size(), 64u);  // of 68
    // What is kept of a choice reads back (and only imported formats ask).
    for (const ImportFormatChoice& f : importFormatChoices())
        EXPECT_EQ(importFormatFromName(importFormatName(f.format)), f.format);
    for (const WalkDirection d : {WalkDirection::Out, WalkDirection::In, WalkDirection::Both})
        EXPECT_EQ(walkDirectionFromName(walkDirectionName(d)), d);
    EXPECT_EQ(importFormatChoice(Outline), nullptr);
    // The chosen format and options reach the import: the root chosen tops the tree; DOT
    // chosen for an edge list fails.
    const std::string file = in + "crawl.csv";
    std::ostringstream out, dot;
    ImportOptions fromB;
    fromB.root = "b";
    EXPECT_TRUE(importConverter(Csv, fromB).convert(file, out, {}, {}).ok);
    EXPECT_EQ(out.str().substr(0, out.str().find(' ', 2)), "0 b");
    EXPECT_FALSE(importConverter(Dot, {}).convert(file, dot, {}, {}).ok);
    // An option that does not fit the file is named as the import dialog names it; the command
    // line keeps its own words.
    const struct {
        ImportFormat format;
        std::string group, root, header, viewer, commandLine;
    } refused[] = {
        {Csv, "0", "", "auto", "Group by \"0\": columns are", "--group 0: columns are"},
        {Csv, "name", "", "auto", "Group by \"name\": no column", "--group name: no column"},
        {Csv, "", "nobody", "auto", "Root \"nobody\": no node", "--root nobody: no node"},
        {Csv, "", "", "maybe", "Header line \"maybe\": must be", "--header maybe: must be"},
        {Dot, "nope", "", "auto", "Group by \"nope\": no node attribute", "--group nope: no node"},
    };
    for (const auto& r : refused) {
        const std::string input = in + (r.format == Dot ? "site.dot" : "crawl.csv");
        std::ostringstream ignored;
        ImportOptions options;
        std::tie(options.group, options.root, options.header) = std::tie(r.group, r.root, r.header);
        const ConversionResult viewed =
            importConverter(r.format, options).convert(input, ignored, {}, {});
        EXPECT_TRUE(viewed.error.starts_with(r.viewer)) << r.viewer << " / " << viewed.error;
        const ImportResult imported = importGraph(input, r.format, options, ignored, {});
        EXPECT_TRUE(imported.error.starts_with(r.commandLine)) << imported.error;
    }
}

}  // namespace
}  // namespace orvo
