// The source folders depend on each other one way only. Every `#include "..."` of every .cpp and
// .h file in a source folder is checked against the rule of its folder (the README's "Source
// layout" says the same in words); so are the window-system headers, which only shell/ and
// platform/ may include.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/test_files.h"

namespace orvo::testing {
namespace {

struct FolderRule {
    std::string_view folder;
    std::vector<std::string_view> mayInclude;  // besides the folder itself
    std::string_view rule;
};

const std::vector<FolderRule>& folderRules() {
    static const std::vector<FolderRule> rules = {
        {"memory", {}, "memory/ uses the standard library and POSIX only"},
        {"geometry", {}, "geometry/ is the ground: it includes no other folder"},
        {"settings", {}, "settings/ is the ground: it includes no other folder"},
        {"graph",
         {"memory", "geometry", "settings", "stream"},
         "graph/ (the model) includes only memory/, geometry/, settings/ and stream/, never "
         "layout/ or render/"},
        {"layout",
         {"graph", "memory", "geometry", "settings"},
         "layout/ includes only graph/ and what graph/ stands on"},
        {"render",
         {"layout", "graph", "memory", "geometry", "settings"},
         "render/ includes only the core below it (layout/, graph/, memory/, geometry/, "
         "settings/)"},
        {"viewer",
         {"render", "layout", "graph", "memory", "geometry", "settings"},
         "viewer/ includes only render/ and the core below it"},
        {"stream", {"memory"}, "stream/ includes only memory/"},
        {"import", {"memory", "stream"}, "import/ includes only memory/ and stream/"},
        {"platform",
         {"render", "layout", "graph", "memory", "geometry", "settings"},
         "platform/ implements the core's interfaces: it never includes viewer/, glue/ or above"},
        {"glue",
         {"viewer", "render", "layout", "graph", "memory", "geometry", "settings", "stream",
          "platform"},
         "glue/ (toolkit-free window logic) never includes import/, shell/ or tools/"},
        {"shell",
         {"glue", "viewer", "render", "layout", "graph", "memory", "geometry", "settings", "stream",
          "import", "platform"},
         "shell/ never includes tools/, bench/, fuzz/ or tests/"},
        {"tools",
         {"glue", "viewer", "render", "layout", "graph", "memory", "geometry", "settings", "stream",
          "import", "platform"},
         "tools/ never includes shell/, bench/, fuzz/ or tests/"},
    };
    return rules;
}

const FolderRule* ruleOf(std::string_view folder) {
    for (const FolderRule& r : folderRules())
        if (r.folder == folder) return &r;
    return nullptr;
}

/// The rule that forbids a file of `folder` to include `included` (a quoted include's text),
/// nullopt when the folder may. A name without a folder is the folder's own (or generated) file.
std::optional<std::string> forbiddenBy(std::string_view folder, std::string_view included) {
    const size_t slash = included.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view target = included.substr(0, slash);
    const FolderRule* rule = ruleOf(folder);
    if (rule == nullptr) return std::nullopt;  // bench/, fuzz/, tests/ may include anything
    if (target == folder) return std::nullopt;
    if (std::find(rule->mayInclude.begin(), rule->mayInclude.end(), target) !=
        rule->mayInclude.end())
        return std::nullopt;
    return std::string(rule->rule);
}

/// The rule that forbids a file of `folder` the system header `included` (an angle include).
std::optional<std::string> forbiddenSystemHeader(std::string_view folder,
                                                 std::string_view included) {
    if (folder == "shell" || folder == "platform") return std::nullopt;
    for (std::string_view prefix : {"wx/", "X11/", "EGL/", "GL/glx", "gtk/", "gdk/"}) {
        if (included.substr(0, prefix.size()) == prefix)
            return "only shell/ and platform/ include window-system headers";
    }
    return std::nullopt;
}

struct Include {
    char opening; // '<' or '"'
    std::string path;
};

/// The header a line includes, if it is an include directive.
std::optional<Include> includeOn(std::string_view line) {
    auto skipBlanks = [&line] {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    };
    skipBlanks();
    if (line.empty() || line.front() != '#') return std::nullopt;
    line.remove_prefix(1);
    skipBlanks();
    if (line.substr(0, 7) != "include") return std::nullopt;
    line.remove_prefix(7);
    skipBlanks();
    if (line.empty() || (line.front() != '<' && line.front() != '"')) return std::nullopt;
    const char opening = line.front();
    line.remove_prefix(1);
    const size_t end = line.find(opening == '<' ? '>' : '"');
    if (end == std::string_view::npos || end == 0) return std::nullopt;
    return Include{opening, std::string(line.substr(0, end))};
}

/// "file:line: includes "x": rule" for every include a folder's rule forbids, in the tree at
/// `root`.
std::vector<std::string> layeringViolations(const std::filesystem::path& root) {
    std::vector<std::string> violations;
    for (const FolderRule& rule : folderRules()) {
        const std::filesystem::path dir = root / rule.folder;
        std::error_code error;
        if (!std::filesystem::is_directory(dir, error)) continue;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            const std::string extension = entry.path().extension().string();
            if (entry.is_regular_file() && (extension == ".cpp" || extension == ".h"))
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path& file : files) {
            std::ifstream in(file);
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                const std::optional<Include> include = includeOn(line);
                if (!include) continue;
                const bool quoted = include->opening == '"';
                const std::optional<std::string> why =
                    quoted ? forbiddenBy(rule.folder, include->path)
                           : forbiddenSystemHeader(rule.folder, include->path);
                if (why) {
                    violations.push_back(std::filesystem::relative(file, root).string() + ":" +
                                         std::to_string(number) + ": includes " +
                                         include->opening + include->path + (quoted ? "\"" : ">") +
                                         ": " + *why);
                }
            }
        }
    }
    return violations;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST(Layering, EverySourceFolderKeepsItsRule) {
    const std::filesystem::path root = ORVO_SOURCE_DIR;
    ASSERT_TRUE(std::filesystem::is_directory(root / "graph")) << root;
    const std::vector<std::string> violations = layeringViolations(root);
    EXPECT_TRUE(violations.empty()) << joined(violations);
}

TEST(Layering, TheRulesForbidWhatGoesTheWrongWay) {
    struct Case {
        std::string_view folder, included;
        bool allowed;
    };
    const Case cases[] = {
        {"graph", "layout/layout.h", false},
        {"graph", "render/renderer.h", false},
        {"graph", "memory/text_arena.h", true},
        {"graph", "settings/viewer_settings.h", true},
        {"memory", "graph/graph.h", false},
        {"geometry", "settings/viewer_settings.h", false},
        {"settings", "geometry/quaternion.h", false},
        {"layout", "graph/graph.h", true},
        {"layout", "render/renderer.h", false},
        {"render", "viewer/viewer.h", false},
        {"render", "layout/layout.h", true},
        {"viewer", "render/renderer.h", true},
        {"viewer", "glue/glue.h", false},
        {"stream", "glue/glue.h", false},
        {"stream", "memory/text_arena.h", true},
        {"import", "glue/input_converter.h", false},
        {"import", "graph/graph.h", false},
        {"import", "stream/input_converter.h", true},
        {"import", "memory/text_arena.h", true},
        {"platform", "viewer/viewer.h", false},
        {"platform", "glue/glue.h", false},
        {"platform", "render/gl_surface.h", true},
        {"glue", "import/import.h", false},
        {"glue", "shell/main_frame.h", false},
        {"glue", "platform/png_image.h", true},
        {"tools", "shell/orvo_doc.h", false},
        {"tools", "import/import.h", true},
        {"tools", "tests/run_tool.h", false},
        {"shell", "tools/tree_stats.h", false},
        {"shell", "import/crawler.h", true},
        {"tests", "shell/main_frame.h", true},
        {"bench", "tools/site_generator.h", true},
        {"graph", "graph_local.h", true},
        {"graph", "nowhere/x.h", false},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> why = forbiddenBy(c.folder, c.included);
        EXPECT_EQ(!why.has_value(), c.allowed) << c.folder << " -> " << c.included;
    }
    EXPECT_TRUE(forbiddenSystemHeader("glue", "wx/window.h"));
    EXPECT_TRUE(forbiddenSystemHeader("render", "EGL/egl.h"));
    EXPECT_FALSE(forbiddenSystemHeader("render", "GL/gl.h"));
    EXPECT_FALSE(forbiddenSystemHeader("shell", "wx/window.h"));
    EXPECT_FALSE(forbiddenSystemHeader("platform", "EGL/egl.h"));
}

// The scan itself, on a small tree with one forbidden include of each kind: it names the file,
// the line and the rule.
TEST(Layering, TheScanNamesFileLineAndRule) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    for (std::string_view folder : {"graph", "import", "glue", "tests"})
        std::filesystem::create_directory(dir / folder);
    writeWholeFile(dir / "graph/model.cpp",
                   "// a model\n#include \"graph/model.h\"\n#include <vector>\n\n"
                   "#include \"layout/layout.h\"\n");
    writeWholeFile(dir / "import/reader.h", "#pragma once\n#include \"glue/input_converter.h\"\n");
    writeWholeFile(dir / "glue/window.cpp",
                   "#include <wx/window.h>\n#include \"viewer/viewer.h\"\n");
    writeWholeFile(dir / "tests/any_test.cpp", "#include \"shell/main_frame.h\"\n");
    writeWholeFile(dir / "graph/notes.txt", "#include \"render/renderer.h\"\n");
    EXPECT_EQ(
        joined(layeringViolations(dir.path())),
        "graph/model.cpp:5: includes \"layout/layout.h\": " + std::string(ruleOf("graph")->rule) +
            "\nimport/reader.h:2: includes \"glue/input_converter.h\": " +
            std::string(ruleOf("import")->rule) +
            "\nglue/window.cpp:1: includes <wx/window.h>: only shell/ and platform/ "
            "include window-system headers\n");
}

}  // namespace
}  // namespace orvo::testing
