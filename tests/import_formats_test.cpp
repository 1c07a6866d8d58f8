// Every import format (edge lists, DOT, GraphML, sitemaps, folders, site directories) imported
// from real files, as the cases of tests/data/import/cases.txt say: the outline written and the
// warnings byte for byte, or the refusal naming the file and the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "glue/window_settings.h"
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
    /// A written outline must also read whole with the viewer's move rules: every node and
    /// every link once.
    std::string outcome(const std::string& input, const ImportOptions& options = {}) const {
        std::ostringstream out;
        const ImportResult result =
            importGraph(path(input), guessImportFormat(path(input)), options, out);
        std::string text = out.str();
        if (result.ok) {
            ViewerSettings plain, viewer;
            applyWindowInitialisation(viewer);
            Graph asWritten(plain), moved(viewer);
            if (!readText(asWritten, text) || !readText(moved, text) ||
                asWritten.nodes.size() != moved.nodes.size() ||
                asWritten.links.size() != moved.links.size()) {
                text += "# does not read whole\n";
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
        const std::string key = option.substr(0, option.find('=')),
                          value = option.substr(option.find('=') + 1);
        if (key == "orphans") o.orphans = true;
        if (key == "group") o.group = value;
        if (key == "root") o.root = value;
        if (key == "header") o.header = value;
        if (key == "start") o.start = value;
        if (key == "base-url") o.baseUrl = value;
        EXPECT_NE(std::string(" orphans group root header start base-url ").find(" " + key + " "),
                  std::string::npos)
            << "no option " << key;
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

}  // namespace
}  // namespace orvo
