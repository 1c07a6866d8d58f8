// What the import dialog offers for the files of tests/data/import/in and one written here: the
// header judged, the columns and node attributes that can group, the preview; and the chosen
// options reaching the import.
#include "import/import_choices.h"

#include <gtest/gtest.h>

#include <sstream>

#include "import/import_converter.h"
#include "tests/test_files.h"

namespace orvo {
namespace {

// The choices in one line: the header judged, the groups (label=value), the preview's line count
// and its first line.
std::string summary(const ImportChoices& c) {
    std::string s = c.headerFromHead ? "header? " : c.headerLine ? "header " : "data ";
    for (const GroupChoice& g : c.groups) s += "[" + g.label + "=" + g.value + "]";
    return s + " " + std::to_string(c.preview.size()) + ":" +
           (c.preview.empty() ? "" : c.preview[0].substr(0, 20)) + c.error;
}

TEST(ImportChoices, TheHeaderTheGroupsAndThePreviewOfEachFormat) {
    // Past the head: the header judged on the head alone ("rom" is the first field less its
    // first byte).
    testing::TempDir dir;
    std::string big = "from,to,section\nrom,q,s\n";
    while (big.size() < kChoicesHeadBytes) big += "n" + std::to_string(big.size()) + ",m,s\n";
    testing::writeWholeFile(dir / "big.csv", big + "from,x,s\n");
    const std::string in = testing::dataPath("import/in/");
    const struct {
        std::string file;
        ImportFormat format;
        const char* header;
        std::string expected;
    } cases[] = {
        {in + "crawl.csv", ImportFormat::Csv, "auto", "header [kind=3] 11:source,target,kind"},
        {in + "crawl.csv.gz", ImportFormat::Csv, "no", "header [column 3=3] 11:source,target,kind"},
        {in + "numbered.csv", ImportFormat::Csv, "auto", "data [column 3=3] 4:hub,a,1"},
        {in + "numbered.csv", ImportFormat::Csv, "yes", "data [1=3] 4:hub,a,1"},
        {in + "edges.tsv", ImportFormat::Csv, "auto", "data  2:p\tq r"},
        {dir.file("big.csv"), ImportFormat::Csv, "auto", "header? [section=3] 20:from,to,section"},
        {in + "site.dot", ImportFormat::Dot, "auto",
         "data [shape=shape][kind=kind] 7:digraph site {"},
        {in + "site-dot.xz", ImportFormat::Dot, "auto",
         "data [shape=shape][kind=kind] 7:digraph site {"},
        // Statements without semicolons, defaults, edge attributes, ports and a comment: only
        // node attributes are offered.
        {in + "choices.gv", ImportFormat::Dot, "auto",
         "data [kind=kind][two words=two words][shape=shape][size=size] 5:digraph { rankdir=LR"},
        {in + "site.graphml.bz2", ImportFormat::GraphMl, "auto",
         "data [kind=kind] 13:<?xml version=\"1.0\" "},
        {in + "choices.graphml", ImportFormat::GraphMl, "auto",
         "data [k1=k1][a & b=a & b] 3:<g:graphml xmlns:g=\""},
        {in + "from_only.csv", ImportFormat::Csv, "auto", "data  2:hub,a"},
        // A file of one huge line of NUL bytes: a line cut at the preview's size, and no record
        // to judge; a directory and what is not there offer nothing.
        {in + "zeros.csv.bz2", ImportFormat::Csv, "auto",
         "data  1:\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\xEF\xBF"},
        {in + "site", ImportFormat::Csv, "auto", "data  0:"},
        {in + "gone.csv", ImportFormat::Csv, "auto", "data  0:"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(summary(importChoices(c.file, c.format, c.header)), c.expected) << c.file;
    }
    EXPECT_EQ(importChoices(in + "zeros.csv.bz2", ImportFormat::Csv).preview[0].size(),
              3 * kPreviewBytes);
    EXPECT_EQ(importChoices(in + "many.csv", ImportFormat::Csv).groups.size(), 64u);  // of 68
    // Every format the dialog lists is known by name, and none is listed twice.
    for (const ImportFormatChoice& f : importFormatChoices()) {
        EXPECT_EQ(importFormatChoice(f.format), &f);
        EXPECT_EQ(importFormatFromName(importFormatName(f.format)), f.format);
    }
    EXPECT_EQ(importFormatChoice(ImportFormat::Outline), nullptr);
    for (const WalkDirection d :
         {WalkDirection::Out, WalkDirection::In, WalkDirection::Both, WalkDirection::Auto}) {
        EXPECT_EQ(walkDirectionFromName(walkDirectionName(d)), d);
    }
}

// The chosen format and options reach the import: the root chosen tops the tree, and a format
// chosen against the content fails as that format would.
TEST(ImportChoices, TheConverterImportsWithTheChosenFormatAndOptions) {
    const std::string file = testing::dataPath("import/in/crawl.csv");
    ImportOptions options;
    options.root = "b";
    options.group = "none";
    std::ostringstream out;
    const ConversionResult done =
        importConverter(ImportFormat::Csv, options).convert(file, out, nullptr, nullptr);
    EXPECT_TRUE(done.ok) << done.error;
    EXPECT_EQ(out.str().substr(0, out.str().find('\n')), "0 b 0");
    std::ostringstream dot;
    EXPECT_FALSE(importConverter(ImportFormat::Dot, {}).convert(file, dot, nullptr, nullptr).ok);
}

}  // namespace
}  // namespace orvo
