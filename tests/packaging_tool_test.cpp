// What the installed programs carry: every option --help prints is in the man page, the manual
// (README.md and docs/) and the bash completion (which also offers choices and file names); the
// desktop's own type lookup names the outline graph type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "run_tool.h"

namespace orvo::test {
namespace {

#ifdef ORVO_PACKAGING_DIR

struct Program {
    std::string name, binary, manPage, completion;
};

std::vector<Program> builtPrograms() {
    std::vector<Program> programs;
    std::istringstream table(readWholeFile(ORVO_PACKAGING_DIR "/programs.tsv"));
    for (Program p; std::getline(table, p.name, '\t') && std::getline(table, p.binary, '\t') &&
                    std::getline(table, p.manPage, '\t') && std::getline(table, p.completion);)
        programs.push_back(p);
    return programs;
}

// Every spelling of every option of the "Options:" sections of a --help text, whose lines
// read "  -x,--name [TYPE] text"; the long spelling (or the only one) first in each option.
std::vector<std::vector<std::string>> helpOptions(const std::string& help) {
    std::vector<std::vector<std::string>> options;
    std::istringstream lines(help);
    bool inOptions = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == ':' && line[0] != ' ') inOptions = line == "Options:";
        if (!inOptions || !line.starts_with("  -")) continue;
        std::istringstream spellings(line.substr(2, line.find(' ', 2) - 2));
        options.emplace_back();
        for (std::string name; std::getline(spellings, name, ',');)
            options.back().insert(
                name.starts_with("--") ? options.back().begin() : options.back().end(), name);
    }
    return options;
}

// Whether `name` occurs in `text` as a whole word (not as part of a longer option).
bool mentions(const std::string& text, const std::string& name) {
    auto nameByte = [&](size_t i) {
        return i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                                   text[i] == '-' || text[i] == '_');
    };
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1))
        if ((at == 0 || !nameByte(at - 1)) && !nameByte(at + name.size())) return true;
    return false;
}

// The manual's text about a program: the viewer's own section for `orvo`; for a tool, its entry
// in Tools, any section whose heading names it, and Tools' opening paragraph (shared options).
std::string readmeText(const std::string& readme, const std::string& program) {
    std::string text, shared;
    for (size_t at = 0, end; at < readme.size(); at = end) {
        end =
            std::min({readme.find("\n#", at + 1), readme.find("\n- `orvo", at + 1), readme.size()});
        const std::string piece = readme.substr(at, end - at);
        const std::string heading = piece.substr(0, piece.find('\n', 1));
        if (heading == "\n## Tools") shared = piece;
        if (heading.find("`" + program + "`") != std::string::npos ||
            piece.starts_with("\n- `" + program + " ") ||
            (program == "orvo" && heading == "\n# The viewer"))
            text += piece;
    }
    return text.empty() || program == "orvo" ? text : text + shared;
}

// What bash offers, sorted, with the program's completion loaded, for the last of `words` in `cwd`.
std::vector<std::string> complete(const Program& program, const std::vector<std::string>& words,
                                  const std::string& cwd) {
    std::string script = "cd '" + cwd + "' && source '" + program.completion +
                         "' && f=$(complete -p " + program.name +
                         " | sed -E 's/.* -F ([^ ]+) .*/\\1/') && COMP_WORDS=(";
    for (const std::string& w : words) script += "'" + w + "' ";
    script += ") && COMP_CWORD=" + std::to_string(words.size() - 1) +
              " && COMP_LINE=\"${COMP_WORDS[*]}\" && \"$f\" " + program.name +
              " && printf '%s\\n' \"${COMPREPLY[@]}\"";
    const ToolRun run = runTool("/bin/bash", {"-c", script});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> offered;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) offered.push_back(line);
    std::sort(offered.begin(), offered.end());
    return offered;
}

TEST(PackagingTest, EveryOptionOfEveryProgramIsInItsManPageTheManualAndItsCompletion) {
    const std::vector<Program> programs = builtPrograms();
    std::string names;
    for (const Program& p : programs) names += " " + p.name + " ";
    for (const char* always : {" orvo-inspect ", " orvo-gen "})
        EXPECT_NE(names.find(always), std::string::npos) << always;
    // The front page and the manual's pages, each starting on a line of its own.
    std::string readme = readWholeFile(ORVO_SOURCE_DIR "/README.md");
    for (const char* page : {"viewer", "importing", "crawling", "publishing", "file-formats",
                             "building-and-testing", "benchmarks", "source-layout"})
        readme += "\n" + readWholeFile(std::string(ORVO_SOURCE_DIR "/docs/") + page + ".md");
    TempDir scratch;
    writeWholeFile(scratch / "big-site.graph", "0 a://h/ 0 html main\n");
    writeWholeFile(scratch / "notes.txt", "");
    using Offered = std::vector<std::string>;
    const std::pair<std::vector<std::string>, Offered> completions[] = {
        {{"orvo-snapshot", "--scheme", ""}, {"0", "1", "2"}},
        {{"orvo-snapshot", "-o", "no"}, {"notes.txt"}},
        {{"orvo-snapshot", "--goto", "b"}, {}},  // an id is not a file name
        {{"orvo-gen", "--nodes", ""}, {}},
        {{"orvo-gen", "--se"}, {"--seed"}},
    };
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        const ToolRun help = runTool(program.binary, {"--help"}, {"ASAN_OPTIONS=detect_leaks=0"});
        const auto options = helpOptions(help.out);
        ASSERT_TRUE(help.status == 0 && options.size() >= 2) << help.out << help.err;
        // The roff source as plain text: escaped minus signs and font changes undone.
        std::string man = readWholeFile(program.manPage);
        for (const char* markup : {"\\fB", "\\fI", "\\fR", "\\fP", "\\&", "\\/", "\\,"})
            man = replaceAll(man, markup, "");
        man = replaceAll(man, "\\-", "-");
        std::string title = program.name;
        std::transform(title.begin(), title.end(), title.begin(), ::toupper);
        EXPECT_NE(man.find(".TH " + title + " \"1\""), std::string::npos) << "not a section 1 page";
        const std::string about = readmeText(readme, program.name);
        const std::vector<std::string> offered =
            complete(program, {program.name, "-"}, scratch.path());
        for (const std::vector<std::string>& option : options) {
            // The manual names the long spelling (or the only one).
            EXPECT_TRUE(mentions(about, option[0])) << option[0] << " is not in the manual";
            for (const std::string& name : option) {
                EXPECT_TRUE(mentions(man, name)) << name << " is not in " << program.manPage;
                EXPECT_TRUE(std::binary_search(offered.begin(), offered.end(), name))
                    << name << " is not completed";
            }
        }
        // A word that is not an option is a file name (every program takes files).
        EXPECT_EQ(complete(program, {program.name, "big"}, scratch.path()),
                  Offered{"big-site.graph"});
        for (const auto& [words, wanted] : completions) {
            if (words[0] == program.name) {
                EXPECT_EQ(complete(program, words, scratch.path()), wanted);
            }
        }
    }
}

TEST(PackagingTest, TheFileTypeDefinitionNamesOutlineGraphsByNameAndByContent) {
    TempDir data;  // a private copy of the shared database with our definitions
    std::filesystem::create_directories(data / "mime/packages");
    std::filesystem::copy_file(ORVO_SOURCE_DIR "/packaging/orvo-mime.xml",
                               data / "mime/packages/orvo.xml");
    ASSERT_EQ(runTool("/usr/bin/update-mime-database", {data.file("mime")}).status, 0);
    const std::vector<std::string> environment{"XDG_DATA_HOME=" + data.path(),
                                               "XDG_DATA_DIRS=/usr/share",
                                               "XDG_CURRENT_DESKTOP",
                                               "DESKTOP_SESSION",
                                               "KDE_FULL_SESSION",
                                               "GNOME_DESKTOP_SESSION_ID"};
    // A file of tests/data/tools/mime and the type found for it (a-list has no address: plain).
    std::istringstream files(readWholeFile(ORVO_TEST_DATA "/tools/mime.types"));
    std::string types;
    for (std::string name, type; files >> name && std::getline(files, type);) {
        const ToolRun run =
            runTool("/usr/bin/xdg-mime",
                    {"query", "filetype", ORVO_TEST_DATA "/tools/mime/" + name}, environment);
        types += name + " " + run.out + run.err;
    }
    EXPECT_TRUE(!types.empty() && matchesGolden(types, "mime.types"));
    // The desktop entry offers the viewer for each of these types, several files at once.
    const std::string desktop = readWholeFile(ORVO_SOURCE_DIR "/shell/orvo.desktop");
    for (const char* type :
         {"application/x-orvo-graph", "application/x-orvo-map", "application/x-graphml+xml",
          "text/vnd.graphviz", "text/csv", "application/x-sitemap+xml", "application/x-gexf+xml"})
        EXPECT_TRUE(mentions(desktop, type)) << type;
    EXPECT_NE(desktop.find("\nExec=orvo %F\n"), std::string::npos);
}

// What the package's install rules lay out carries the published map's page and program, and
// orvo-publish run from there (no build tree beside it) writes a map holding that program.
TEST(PackagingTest, TheInstalledOrvoPublishFindsThePageAndProgramBesideIt) {
    const std::string module = ORVO_WEB_BUILD_DIR "/web/orvo-web.wasm";
    if (!std::filesystem::exists(module))
        GTEST_SKIP() << "the browser build is missing (" << module
                     << "): ./scripts/setup.sh web builds it, as the package build does";
    TempDir root;
    const ToolRun install = runTool("/usr/bin/cmake", {"--install", ORVO_BUILD_DIR, "--prefix",
                                                       root.file("usr"), "--component", "Unspecified"});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char* part :
         {"map_page.html", "map_page.js", "orvo_view.js", "map_viewer.js", "orvo-web.js",
          "orvo-web.wasm"})
        EXPECT_TRUE(std::filesystem::exists(root / "usr/share/orvo/web" / part)) << part;
    const ToolRun run =
        runTool(root.file("usr/bin/orvo-publish"),
                {root.file("usr/share/orvo/examples/worked-example.graph"), "-o", root.file("m.html")},
                {"ASAN_OPTIONS=detect_leaks=0"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string page = readWholeFile(root.file("m.html"));
    EXPECT_NE(page.find(readWholeFile(ORVO_WEB_BUILD_DIR "/web/orvo-web.js")), std::string::npos)
        << "the map lacks the installed program's script";
}

#else

TEST(PackagingTest, EveryOptionOfEveryProgramIsInItsManPageTheManualAndItsCompletion) {
    GTEST_SKIP() << "configured with -DORVO_PACKAGING=OFF: no man pages or completions";
}

#endif

}  // namespace
}  // namespace orvo::test
