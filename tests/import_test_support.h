// The rig of the import tests: the inputs of tests/data/import/in copied to a fresh directory
// (with the links git does not keep), and an import's outcome as one text to compare with a
// golden file of tests/data/import/expected.
#pragma once

#include <filesystem>
#include <sstream>
#include <string>

#include "glue/window_settings.h"
#include "graph/graph.h"
#include "import/import.h"
#include "tests/graph_test_support.h"

namespace orvo::testing {

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

}  // namespace orvo::testing
