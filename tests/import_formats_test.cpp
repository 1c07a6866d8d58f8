// Every import format (edge lists, DOT, GraphML, sitemaps, folders, site directories) imported
// from real files, as the cases of tests/data/import/cases.txt say: the outline written and the
// warnings byte for byte, or the refusal naming the file and the line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>

#include "import/import.h"
#include "tests/import_test_support.h"

namespace orvo {
namespace {

ImportOptions parsed(const std::string& arguments) {
    ImportOptions o;
    for (size_t at = 0, end; at < arguments.size(); at = end + 2) {
        end = std::min(arguments.find(", ", at), arguments.size());
        const std::string option = arguments.substr(at, end - at);
        const size_t eq = option.find('=');
        const std::string key = option.substr(0, eq), value = option.substr(eq + 1);
        if (key == "orphans") o.orphans = true;
        if (key == "group") o.group = value;
        if (key == "root") o.root = value;
        if (key == "header") o.header = value;
        if (key == "start") o.start = value;
        if (key == "base-url") o.baseUrl = value;
    }
    return o;
}

TEST(ImportFormats, EveryCaseGivesItsOutlineOrItsError) {
    const testing::ImportInputs inputs;
    const std::vector<testing::OutlineCase> cases = testing::outlineCases("import/cases.txt");
    ASSERT_GE(cases.size(), 29u);
    for (const testing::OutlineCase& c : cases) {
        const bool made = c.name.starts_with('+');
        const std::string file = c.name.substr(made ? 1 : 0);
        if (made) testing::writeWholeFile(inputs.path(file), c.input);
        EXPECT_EQ(inputs.outcome(file, parsed(c.arguments)), c.expected)
            << c.name << " | " << c.arguments;
    }
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
