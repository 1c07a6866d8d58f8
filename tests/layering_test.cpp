// The source folders depend on each other one way only. Every `#include "..."` of every .cpp and
// .h file in a source folder is checked against the rule of its folder (the README's "Source
// layout" says the same in words); so are the window-system headers, which only shell/ and
// platform/ may include.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/test_files.h"

namespace orvo::testing {
namespace {

struct FolderRule {
    std::string_view folder, mayInclude;  // besides the folder itself, one space apart
    std::string_view rule;
};

constexpr std::string_view kCore = "render layout graph memory geometry settings";
const FolderRule kRules[] = {
    {"memory", "", "memory/ uses the standard library and POSIX only"},
    {"geometry", "", "geometry/ is the ground: it includes no other folder"},
    {"settings", "", "settings/ is the ground: it includes no other folder"},
    {"graph", "memory geometry settings stream",
     "graph/ (the model) includes only memory/, geometry/, settings/ and stream/, never layout/ "
     "or render/"},
    {"layout", "graph memory geometry settings",
     "layout/ includes only graph/ and what graph/ stands on"},
    {"render", kCore.substr(7),
     "render/ includes only the core below it (layout/, graph/, memory/, geometry/, settings/)"},
    {"viewer", kCore, "viewer/ includes only render/ and the core below it"},
    {"stream", "memory", "stream/ includes only memory/"},
    {"import", "memory stream", "import/ includes only memory/ and stream/"},
    {"platform", kCore,
     "platform/ implements the core's interfaces: it never includes viewer/, glue/ or above"},
    {"glue", "viewer render layout graph memory geometry settings stream platform",
     "glue/ (toolkit-free window logic) never includes import/, shell/ or tools/"},
    {"shell", "glue viewer render layout graph memory geometry settings stream import platform",
     "shell/ never includes tools/, bench/, fuzz/ or tests/"},
    {"tools", "glue viewer render layout graph memory geometry settings stream import platform",
     "tools/ never includes shell/, bench/, fuzz/ or tests/"},
};

/// Why a file of `rule.folder` may not include `line`'s header; empty when it may, or when the
/// line is no include. A quoted name without a folder is the folder's own (or generated) file.
std::string forbidden(const FolderRule& rule, std::string_view line) {
    auto skipBlanks = [&line] {
        line.remove_prefix(std::min(line.size(), line.find_first_not_of(" \t")));
    };
    skipBlanks();
    if (!line.starts_with('#')) return "";
    line.remove_prefix(1);
    skipBlanks();
    if (!line.starts_with("include")) return "";
    line.remove_prefix(7);
    skipBlanks();
    if (line.starts_with('<')) {
        if (rule.folder == "shell" || rule.folder == "platform") return "";
        for (std::string_view prefix : {"wx/", "X11/", "EGL/", "GL/glx", "gtk/", "gdk/"})
            if (line.substr(1).starts_with(prefix))
                return "only shell/ and platform/ include window-system headers";
        return "";
    }
    const size_t slash = line.find('/');
    if (!line.starts_with('"') || slash > line.find('"', 1)) return "";
    const std::string_view target = line.substr(1, slash - 1);
    const std::string allowed = " " + std::string(rule.mayInclude) + " ";
    if (target == rule.folder || allowed.find(" " + std::string(target) + " ") != std::string::npos)
        return "";
    return std::string(rule.rule);
}

/// "file:line: includes X: rule" for every include a folder's rule forbids, in the tree at
/// `root` (bench/, fuzz/ and tests/ may include anything).
std::string layeringViolations(const std::filesystem::path& root) {
    std::string violations;
    for (const FolderRule& rule : kRules) {
        std::vector<std::filesystem::path> files;
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator it(root / rule.folder, error), end;
             !error && it != end; it.increment(error)) {
            const std::string extension = it->path().extension().string();
            if (it->is_regular_file() && (extension == ".cpp" || extension == ".h"))
                files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path& file : files) {
            std::ifstream in(file);
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                const std::string why = forbidden(rule, line);
                if (why.empty()) continue;
                const size_t at = line.find_first_of("<\""),
                             end = line.find_first_of(">\"", at + 1);
                violations += std::filesystem::relative(file, root).string() + ":" +
                              std::to_string(number) + ": includes " +
                              line.substr(at, end + 1 - at) + ": " + why + "\n";
            }
        }
    }
    return violations;
}

TEST(Layering, EverySourceFolderKeepsItsRule) {
    ASSERT_TRUE(std::filesystem::is_directory(ORVO_SOURCE_DIR "/graph"));
    EXPECT_EQ(layeringViolations(ORVO_SOURCE_DIR), "");
}

// The scan itself, on a small tree with forbidden includes of each kind among allowed ones: it
// names the file, the line and the rule.
TEST(Layering, TheScanNamesFileLineAndRule) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    for (std::string_view folder : {"graph", "import", "glue", "tests", "shell", "render"})
        std::filesystem::create_directory(dir / folder);
    writeWholeFile(dir / "graph/model.cpp",
                   "// a model\n#include \"graph/model.h\"\n#include <vector>\n"
                   "#include \"memory/text_arena.h\"\n  #  include \"layout/layout.h\"\n"
                   "#include \"model_local.h\"\n");
    writeWholeFile(dir / "import/reader.h", "#pragma once\n#include \"glue/input_converter.h\"\n");
    writeWholeFile(dir / "glue/window.cpp",
                   "#include <wx/window.h>\n#include \"viewer/viewer.h\"\n");
    writeWholeFile(dir / "render/gl.cpp", "#include <GL/gl.h>\n#include <EGL/egl.h>\n");
    writeWholeFile(dir / "shell/frame.cpp",
                   "#include <wx/window.h>\n#include \"import/crawler.h\"\n");
    writeWholeFile(dir / "tests/any_test.cpp", "#include \"shell/main_frame.h\"\n");
    writeWholeFile(dir / "graph/notes.txt", "#include \"render/renderer.h\"\n");
    EXPECT_EQ(
        layeringViolations(dir.path()),
        "graph/model.cpp:5: includes \"layout/layout.h\": " + std::string(kRules[3].rule) +
            "\nrender/gl.cpp:2: includes <EGL/egl.h>: only shell/ and platform/ include "
            "window-system headers\nimport/reader.h:2: includes \"glue/input_converter.h\": " +
            std::string(kRules[8].rule) +
            "\nglue/window.cpp:1: includes <wx/window.h>: only shell/ and platform/ "
            "include window-system headers\n");
}

}  // namespace
}  // namespace orvo::testing
