// What the import dialog offers for a file (the header judged, the columns and node attributes
// that can group, the preview), and the chosen options reaching the import.
#include "import/import_choices.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "crawl/import_graph.h"
#include "import/import_converter.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

using namespace testing;

// The header judged, the groups (label=value), what Automatic is called, the preview's line count
// and its first line.
std::string summary(const ImportChoices& c) {
    std::string s = c.headerFromHead ? "header? " : c.headerLine ? "header " : "data ";
    for (const GroupChoice& g : c.groups) s += "[" + g.label + "=" + g.value + "]";
    s += " {" + automaticGroupLabel(c) + "}";
    return s + " " + std::to_string(c.preview.size()) + ":" +
           (c.preview.empty() ? "" : c.preview[0].substr(0, 20)) + c.error;
}

// An option refused, as the import dialog names it and as the command line does.
std::string refusals(const std::string& file, ImportFormat format, const Strings& f) {
    ImportOptions options;
    std::tie(options.group, options.root, options.header) = std::tie(f.at(2), f.at(3), f.at(4));
    std::ostringstream ignored;
    return importConverter(format, options).convert(file, ignored, {}, {}).error + " | " +
           importGraph(file, format, options, ignored, {}).error;
}

TEST(ImportChoices, WhatEachFormatOffersAndTheConverterTakes) {
    TempDir dir;
    std::string big = "from,to,section\nrom,q,s\n";
    while (big.size() < kChoicesHeadBytes) big += "n" + std::to_string(big.size()) + ",m,s\n";
    writeWholeFile(dir / "big.csv", big + "from,x,s\n");
    const std::string in = dataPath("import/in/");
    EXPECT_TRUE(answersMatch("import/choices.txt", [&](const std::string& question) {
        const Strings f = fields(question);
        const ImportFormat format = importFormatFromName(f.at(1)).value();
        if (f[0] == "refuse")
            return replaceAll(
                refusals(in + (format == ImportFormat::Dot ? "site.dot" : "crawl.csv"), format, f),
                in, "IN/");
        const std::string file = f[0].starts_with("TMP/") ? dir.file(f[0].substr(4)) : in + f[0];
        return summary(importChoices(file, format, f.at(2)));
    }));
    using enum ImportFormat;
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
    std::ostringstream out, dot;
    ImportOptions fromB;
    fromB.root = "b";
    EXPECT_TRUE(importConverter(Csv, fromB).convert(in + "crawl.csv", out, {}, {}).ok);
    EXPECT_EQ(out.str().substr(0, out.str().find(' ', 2)), "0 b");
    EXPECT_FALSE(importConverter(Dot, {}).convert(in + "crawl.csv", dot, {}, {}).ok);
}

}  // namespace
}  // namespace orvo
