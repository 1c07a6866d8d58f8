// The source folders depend on each other one way only (as docs/source-layout.md says):
// every include of every source folder against its folder's rule; window-system headers only in
// shell/ and platform/; <regex> nowhere, tests included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/graph_test_support.h"

namespace orvo::testing {
namespace {

struct FolderRule {
    std::string_view folder, mayInclude;  // besides the folder itself, one space apart
};

// glue/ is the toolkit-free window logic; platform/ implements the core's interfaces; web/ holds
// the page's entry points.
const FolderRule kRules[] = {
    {"memory", ""},
    {"geometry", ""},
    {"settings", ""},
    {"graph", "memory geometry settings stream"},
    {"layout", "graph memory geometry settings"},
    // The map file: a laid-out graph stored whole; the tools and the window read it.
    {"mapfile", "layout graph memory geometry settings"},
    {"render", "layout graph memory geometry settings"},
    {"viewer", "render layout graph memory geometry settings"},
    {"stream", "memory"},
    {"import", "memory stream"},
    // The crawl of live sites and the site audit, on top of the importers.
    {"crawl", "import memory stream"},
    {"platform", "render layout graph memory geometry settings"},
    {"glue", "viewer render mapfile layout graph memory geometry settings stream platform"},
    {"shell",
     "glue viewer render mapfile layout graph memory geometry settings stream import crawl platform"},
    {"tools",
     "glue viewer render mapfile layout graph memory geometry settings stream import crawl platform"},
    // The page's entry points: on top like shell/, never included by the core.
    {"web", "glue viewer render mapfile layout graph memory geometry settings stream import"},
};

/// Why a file under `rule` (none for a folder without one) may not include `line`'s header; empty
/// when it may, or when the line is no include. A quoted name without a folder is the folder's
/// own (or generated) file.
std::string forbidden(const FolderRule* rule, std::string_view line) {
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
    if (line.starts_with("<regex>"))
        return "no file does (GCC 12's -O2 sanitizer build fails on it)";
    if (rule == nullptr) return "";
    if (line.starts_with('<')) {
        if (line.substr(1).starts_with("emscripten"))
            return rule->folder == "web" ? "" : "only web/ includes the browser's headers";
        if (rule->folder == "shell" || rule->folder == "platform") return "";
        for (std::string_view prefix : {"wx/", "X11/", "EGL/", "GL/glx", "gtk/", "gdk/"})
            if (line.substr(1).starts_with(prefix))
                return "only shell/ and platform/ include window-system headers";
        return "";
    }
    const size_t slash = line.find('/');
    if (!line.starts_with('"') || slash > line.find('"', 1)) return "";
    const std::string_view target = line.substr(1, slash - 1);
    const std::string allowed = " " + std::string(rule->mayInclude) + " ";
    if (target == rule->folder ||
        allowed.find(" " + std::string(target) + " ") != std::string::npos)
        return "";
    return std::string(rule->folder) + "/ may include only: " + std::string(rule->mayInclude);
}

/// "file:line: includes X: rule" for every include a rule forbids in the tree at `root`, its
/// files in order of their paths (build folders and hidden ones left out). Folders without a
/// rule (bench/, fuzz/, tests/) may include anything but <regex>.
std::string layeringViolations(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string(), extension = it->path().extension();
        if (it->is_directory() && (name.starts_with('.') || name.starts_with("build")))
            it.disable_recursion_pending();
        if (it->is_regular_file() && (extension == ".cpp" || extension == ".h"))
            files.push_back(std::filesystem::relative(it->path(), root));
    }
    std::sort(files.begin(), files.end());
    std::string violations;
    for (const std::filesystem::path& file : files) {
        const auto* rule = std::find_if(std::begin(kRules), std::end(kRules), [&](const auto& r) {
            return r.folder == file.begin()->string();
        });
        std::ifstream in(root / file);
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const std::string why = forbidden(rule == std::end(kRules) ? nullptr : rule, line);
            if (why.empty()) continue;
            const size_t at = line.find_first_of("<\""), end = line.find_first_of(">\"", at + 1);
            violations += file.string() + ":" + std::to_string(number) + ": includes " +
                          line.substr(at, end + 1 - at) + ": " + why + "\n";
        }
    }
    return violations;
}

TEST(Layering, EverySourceFolderKeepsItsRule) {
    ASSERT_TRUE(std::filesystem::is_directory(ORVO_SOURCE_DIR "/graph"));
    EXPECT_EQ(layeringViolations(ORVO_SOURCE_DIR), "");
}

// The scan itself, on the tree of tests/data/layering_tree.txt: file, line and rule of each
// forbidden include, and nothing else.
TEST(Layering, TheScanNamesFileLineAndRule) {
    TempDir dir;
    std::string expected;
    for (const OutlineCase& file : outlineCases("layering_tree.txt")) {
        std::filesystem::create_directories((dir / file.name).parent_path());
        writeWholeFile(dir / file.name, file.input);
        expected += file.expected;
    }
    ASSERT_NE(expected, "");
    EXPECT_EQ(layeringViolations(dir.path()), expected);
}

}  // namespace
}  // namespace orvo::testing
