// Every import format (edge lists, DOT, GraphML, sitemaps, folders, site directories) imported
// from real files, as the cases of tests/data/import/cases.txt say: the outline written and the
// warnings byte for byte, or the refusal naming the file and the line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "graph/graph.h"
#include "import/import.h"
#include "tests/graph_test_support.h"

namespace orvo {
namespace {

using namespace testing;

// The inputs of tests/data/import/in copied to a fresh directory (with the links git does not
// keep), and an import's outcome as one text.
class ImportInputs {
public:
    ImportInputs() {
        namespace fs = std::filesystem;
        fs::copy(dataPath("import/in"), dir_.path(), fs::copy_options::recursive);
        // A folder tree with a link inside it, a loop, a link out of it and a dangling one.
        for (const char* file :
             {"tree/src/main.cpp", "tree/src/deep/pic.png", "tree/docs/read me.txt"}) {
            fs::create_directories(fs::path(path(file)).parent_path());
            writeWholeFile(path(file), "");
        }
        fs::create_symlink("../src/main.cpp", path("tree/docs/main-link"));
        fs::create_symlink("..", path("tree/docs/up"));
        fs::create_symlink(path("outside/secret.html"), path("tree/docs/out"));
        fs::create_symlink("missing", path("tree/dangling"));
        fs::create_symlink(path("outside/secret.html"), path("site/escape.html"));
    }
    std::string path(const std::string& name) const { return dir_.file(name); }

    /// The outline written, then the warnings or the error, with the directory written "$DIR".
    /// A written outline must also read whole under every set of load flags (whatever moves
    /// they make): the same nodes, the same number of links, no pair of nodes linked twice.
    /// (Records with an extra field are another layout of line, not written by importers.)
    std::string outcome(const std::string& input, const ImportOptions& options = {}) const {
        std::ostringstream out;
        const ImportResult result =
            importGraph(path(input), guessImportFormat(path(input)), options, out);
        std::string text = out.str();
        size_t nodes = 0, links = 0;
        for (int32_t flags = 0; result.ok && flags < 64; ++flags) {
            if (flags & ExtraField) continue;
            ViewerSettings settings;
            settings.loadFlags = flags;
            Graph graph(settings);
            const bool read = readText(graph, text);
            std::set<std::pair<int32_t, int32_t>> pairs;
            for (const Link* l : graph.links) pairs.emplace(l->fromNode->index, l->toNode->index);
            if (flags == 0) std::tie(nodes, links) = std::pair(graph.nodes.size(), pairs.size());
            if (!read || graph.nodes.size() != nodes || graph.links.size() != links ||
                pairs.size() != links) {
                text += "# does not read whole with load flags " + std::to_string(flags) + "\n";
                break;
            }
        }
        for (const std::string& w : result.warnings) text += "# warning: " + w + "\n";
        if (!result.ok) text += "# error: " + result.error + "\n";
        for (size_t at; (at = text.find(dir_.path())) != std::string::npos;) {
            text.replace(at, dir_.path().size(), "$DIR");
        }
        return text;
    }

private:
    TempDir dir_;
};

ImportOptions parsed(const std::string& arguments) {
    ImportOptions o;
    for (size_t at = 0, end; at < arguments.size(); at = end + 2) {
        end = std::min(arguments.find(", ", at), arguments.size());
        const std::string option = arguments.substr(at, end - at);
        const size_t eq = option.find('=');
        const std::string key = option.substr(0, eq), value = option.substr(eq + 1);
        if (key == "orphans") {
            o.orphans = true;
        } else if (key == "direction") {
            o.direction = value == "out"    ? WalkDirection::Out
                          : value == "in"   ? WalkDirection::In
                          : value == "both" ? WalkDirection::Both
                                            : WalkDirection::Auto;
        } else {
            std::string* field = key == "group"      ? &o.group
                                 : key == "root"     ? &o.root
                                 : key == "header"   ? &o.header
                                 : key == "start"    ? &o.start
                                 : key == "base-url" ? &o.baseUrl
                                                     : nullptr;
            EXPECT_NE(field, nullptr) << "no option " << key;
            if (field != nullptr) *field = value;
        }
    }
    return o;
}

TEST(ImportFormats, EveryCaseGivesItsOutlineOrItsError) {
    const ImportInputs inputs;
    const std::vector<OutlineCase> cases = outlineCases("import/cases.txt");
    ASSERT_GE(cases.size(), 29u);
    for (const OutlineCase& c : cases) {
        const bool made = c.name.starts_with('+');
        const std::string file = c.name.substr(made ? 1 : 0);
        if (made) writeWholeFile(inputs.path(file), c.input);
        EXPECT_EQ(inputs.outcome(file, parsed(c.arguments)), c.expected)
            << c.name << " | " << c.arguments;
    }
}

// An edge list that comes through a pipe, which cannot tell its size, is read whole, as the
// same list in a file is (a file's text is read in one go into room made for it).
TEST(ImportFormats, AnEdgeListFromAPipeIsReadWhole) {
    const ImportInputs inputs;
    std::string edges = "from,to\n";
    for (int k = 1; k < 20'000; ++k) {
        edges += "page" + std::to_string(k / 4) + ",page" + std::to_string(k) + "\n";
    }
    writeWholeFile(inputs.path("links.csv"), edges);
    const std::string fifo = inputs.path("links.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { writeWholeFile(fifo, edges); });
    std::ostringstream piped;
    const ImportResult result = importGraph(fifo, ImportFormat::Csv, {}, piped);
    writer.join();
    ASSERT_TRUE(result.ok) << result.error;
    ViewerSettings settings;
    Graph g(settings);
    ASSERT_TRUE(readText(g, piped.str()));
    EXPECT_EQ(g.nodes.size(), 20'000u);
    EXPECT_TRUE(piped.str() == inputs.outcome("links.csv"));
}

}  // namespace
}  // namespace orvo
